// usage.cpp - the tool's usage texts, as this build has it: the panel's verb and options
// only where the tool can show a panel (KORVA3_TOOL_PANEL, set when building).
#include "cli/usage.h"

#if KORVA3_TOOL_PANEL
#define KORVA3_PANEL_VERB \
    "       korva3 panel [options]      an idle virtual machine on the panel: jog, home\n"
#define KORVA3_PANEL_OPTIONS \
    "  --panel[=PORT]      show the machine in the browser while the job runs, in real\n" \
    "                      time; prints the address to open (127.0.0.1 only)\n" \
    "  --panel-keep        as --panel, and the page stays after the end until Ctrl-C\n"
#define KORVA3_GCODE_PANEL_OPTIONS \
    "options: --plot, --quiet, --limit, --card, --slice-us, --queue, --panel[=PORT],\n" \
    "  --panel-keep as for run (the panel: the planned path, the listing, progress,\n" \
    "  cycle start, feed override, feed hold and resume, stop: exit code 4), and\n" \
    "  --start                 with --panel: start at once (else the panel's cycle start)\n"
#else
#define KORVA3_PANEL_VERB ""
#define KORVA3_PANEL_OPTIONS ""
#define KORVA3_GCODE_PANEL_OPTIONS \
    "options: --plot, --quiet, --limit, --card, --slice-us, --queue as for run, and\n"
#endif

namespace korva3_tool {

const bool kHasPanel = KORVA3_TOOL_PANEL;

const char *const kUsage =
    "usage: korva3 run JOB [options]    run a job file (- reads standard input)\n"
    "       korva3 check JOB            check a job without running it\n"
    "       korva3 demo [options]       run the built-in demo, write demo.svg here\n"
    "       korva3 demo --print         show the demo's job file\n"
    "       korva3 functions            list the functions and verbs a job can use\n"
    KORVA3_PANEL_VERB
    "       korva3 serve --grbl WHERE   card 0 as a grbl 1.1 board for senders (cncjs, bCNC)\n"
    "       korva3 trace TRACE          summarise a virtual card's trace file\n"
    "       korva3 plot TRACE --plot FILE.svg   draw a virtual card's trace file\n"
    "       korva3 --version            show the version\n"
    "options:\n"
    "  --plot FILE.svg     draw the path the card executed and the speed profile\n"
    "  --csv FILE.csv      write every executed position (time_ms,card,line,x,y,z)\n"
    "  --quiet             print only the final positions (and errors)\n"
    "  --trace             also print every frame the card received, in hex\n"
    "  --strict            fail on warnings (calls that reach no card, refused paths, ...)\n"
    "  --limit MS          fail the job when it takes longer (default 600000)\n"
    "virtual card only:\n"
    "  --card BUS:DEV:ID   put a card at this PCI place with this ID switch (repeat for\n"
    "                      more; default one card 0:1:0)\n"
    "  --slice-us N        slice period of the controllers in microseconds\n"
    "  --queue N           slices the controllers' queues hold\n"
    KORVA3_PANEL_OPTIONS
    "Ctrl-C stops every registered card (emergency stop) and exits with 130.\n";

const char *const kGcodeUsage =
    "usage: korva3 gcode FILE.ngc [options]  run a G-code program on card 0 (- reads stdin)\n"
    KORVA3_GCODE_PANEL_OPTIONS
    "  --scale X=..,Y=..,Z=..  pulses per mm of each axis (or one number for all)\n"
    "  --machine FILE.toml     the machine: scale, slice period, rapid speed, ramps, outputs\n"
    "  --csv FILE              write every executed position (time_ms,card,line,x,y,z)\n"
    "  --check                 only check: errors, moves, extent, end, estimated time,\n"
    "                          offsets and tools; nothing moves\n"
    "  --moves                 with --check: each move instead, a line each (LINE, rapid,\n"
    "                          feed, arc or dwell, the end in machine mm, the feed mm/min)\n"
    "  --json                  with --check: the same as one JSON object on stdout\n"
    "  --max-errors N          list at most N errors, then count the rest (default 25)\n"
    "  --skip-optional-stops   M1 does not pause\n"
    "  --read-deleted-lines    read lines that start with / (block delete off)\n"
    "  --max-iterations N      O-word loop iterations and calls, all told (default 1000000)\n"
    "  --max-call-depth N      O-word calls nested in each other (default 64)\n"
    "  --max-expression-steps N  operators, functions and parameter reads, all told\n"
    "                          (default 500000000)\n"
    "  --max-moves N           moves of the program, loops' included (default 100000000)\n"
    "  (--limit defaults to twice the estimated time plus a minute, at least 600000 ms)\n"
    "Ctrl-C stops the card (emergency stop) and exits with 130.\n";

const char *const kPanelUsage =
    "usage: korva3 panel [options]  the virtual machine with its panel and no job, until Ctrl-C\n"
    "options:\n"
    "  --machine FILE.toml   show mm with the file's scale (pulses per mm; as korva3 gcode\n"
    "                        reads it); jog at its max_velocity. Without it: pulses\n"
    "  --panel=PORT          the panel's port (default: a free one); the address is printed\n"
    "  --programs DIR        the machine's program folder: its G-code files (.ngc .nc\n"
    "                        .gcode .tap) are listed on the page to open and run\n"
    "  --card, --slice-us, --queue as for run\n"
    "Ctrl-C or SIGTERM stops every card (emergency stop) and exits with 130.\n";

const char *const kServeUsage =
    "usage: korva3 serve --grbl WHERE [options]  card 0 as a grbl 1.1 board, until Ctrl-C\n"
    "  --grbl tcp:PORT       senders connect to 127.0.0.1:PORT (0: a free port, printed)\n"
    "  --grbl tcp:HOST:PORT  on another loopback address (127.x.x.x)\n"
    "  --grbl pty:PATH       a pseudo-terminal, PATH a symlink to it (a serial port)\n"
    "options:\n"
    "  --machine FILE.toml   the machine (scale, speeds, accelerations, outputs), as\n"
    "                        korva3 gcode reads it; $$ reports it\n"
    "  --card, --slice-us, --queue as for run\n"
    "One sender at a time; when it goes, the machine stops (spindle and coolant off).\n"
    "Ctrl-C or SIGTERM stops every card (emergency stop) and exits with 130.\n";

} // namespace korva3_tool
