// driver.h - the one way the tool runs something on the machine (a job, the demo, a
// G-code program): it checks the output files, sets the machine up, starts the panel
// and the Ctrl-C handling, records the run, lets the work run, waits for the cards to
// settle, ends the recording, writes the CSV and the plot, and gives the exit code.
#ifndef KORVA3_TOOL_DRIVER_H
#define KORVA3_TOOL_DRIVER_H

#include <cstdint>
#include <memory>
#include <string>

#include "machine/machine.h"
#include "run/session.h"

namespace korva3_tool {

// What a command runs.
class Work {
public:
    virtual ~Work() = default;
    // Moves the machine. EXIT_OK or EXIT_JOB_FAILED.
    virtual int run(Session &session) = 0;
    // After the cards came to rest (or the wait for them ended: `settled` says which)
    // and the recording ended: reports the end. Returns the exit code.
    virtual int finish(Session &session, const Settled &settled, int code) = 0;
};

struct DriveSetup {
    std::string name;                 // the job's or program's, in messages and the plot
    std::string plot_path, csv_path;  // "": none
    bool panel = false;               // the virtual machine's front panel
    uint32_t panel_port = 0;          // 0: a free port
    bool panel_keep = false;          // the page stays after the end until Ctrl-C
    // The panel's emergency stop ends the tool at once (exit code 3), as Ctrl-C does;
    // false: the work takes it (through its controller) and ends as after any end.
    bool panel_estop_exits = true;
    MachineSetup machine;
    SessionOptions session;           // its csv is the driver's
    std::shared_ptr<GcodeTrack> gcode; // a G-code run: recorded for its own plot
};

// The whole run. EXIT_USAGE (nothing was run) when an output file, the machine or the
// panel cannot be had; otherwise what the work ends with, or EXIT_JOB_FAILED when an
// output file could not be written. Ctrl-C ends the process (EXIT_INTERRUPTED).
int drive(const DriveSetup &setup, Work &work);

// The middle of it on a machine that is set up (the tests run work this way): run,
// settle, end the recording, finish.
int run_work(Session &session, Work &work);

} // namespace korva3_tool

#endif
