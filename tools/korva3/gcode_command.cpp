// gcode_command.cpp - `korva3 gcode FILE.ngc`: the program is read and checked whole
// (korva3_gcode), then run on card number 0 of the machine, observed as jobs are.
#include "gcode_command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli.h"
#include "frames.h"
#include "gcode/executor.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "korva3.h"
#include "machine.h"
#include "recording.h"
#include "runner.h"
#include "run_watch.h"
#include "svg_plot.h"

namespace korva3_tool {

const char *const kGcodeUsage =
    "usage: korva3 gcode FILE.ngc [options]  run a G-code program on card 0 (- reads stdin)\n"
    "options: --plot, --quiet, --limit, --card, --slice-us, --queue as for run, and\n"
    "  --scale X=..,Y=..,Z=..  pulses per mm of each axis (or one number for all)\n"
    "  --machine FILE.toml     the machine: scale, slice period, rapid speed, ramps, outputs\n"
    "  --csv FILE              write every executed position (time_ms,card,line,x,y,z)\n"
    "  --check                 only check: errors, extent, estimated time; nothing moves\n"
    "  (--limit defaults to twice the estimated time plus a minute, at least 600000 ms)\n";

namespace {

using namespace korva3_gcode;

constexpr uint32_t kWorking = KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING |
                              KORVA3_ST_Z_MOVING;

struct Options {
    std::string program, machine_file, scale, plot, csv;
    bool check = false;
    Output output = Output::Normal;
    uint32_t limit_ms = 0; // 0: twice the estimate plus a minute, at least 10 minutes
    MachineSetup setup;
};

int usage(const std::string &message)
{
    std::cerr << "korva3: " << message << "\n" << kGcodeUsage;
    return EXIT_USAGE;
}

// Parses the options; false after the message has been printed.
bool parse(int argc, char **argv, Options &o, int &code)
{
    bool cards_given = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        int64_t n;
        auto bad = [&](const std::string &m) { code = usage(m); return false; };
        if ((a == "--scale" || a == "--machine" || a == "--plot" || a == "--csv" ||
             a == "--limit" || a == "--card" || a == "--slice-us" || a == "--queue") && !more)
            return bad(a + " needs a value");
        if (a == "--scale") {
            o.scale = argv[++i];
        } else if (a == "--machine") {
            o.machine_file = argv[++i];
        } else if (a == "--plot") {
            o.plot = argv[++i];
        } else if (a == "--csv") {
            o.csv = argv[++i];
        } else if (a == "--check") {
            o.check = true;
        } else if (a == "--quiet") {
            o.output = Output::Quiet;
        } else if (a == "--limit") {
            if (!parse_number(argv[++i], 1, UINT32_MAX / 2, n))
                return bad("--limit: milliseconds, 1 or more");
            o.limit_ms = static_cast<uint32_t>(n);
        } else if (a == "--card") {
            CardPlace place;
            if (!parse_place(argv[++i], place))
                return bad("--card: BUS:DEV:ID, bus and device 0..31, ID 0..15");
            if (!cards_given)
                o.setup.cards.clear();
            cards_given = true;
            o.setup.cards.push_back(place);
        } else if (a == "--slice-us") {
            if (!parse_number(argv[++i], 0, 1000000, n))
                return bad("--slice-us: 0..1000000");
            o.setup.slice_us = n;
        } else if (a == "--queue") {
            if (!parse_number(argv[++i], 1, 65536, n))
                return bad("--queue: 1..65536");
            o.setup.queue_size = n;
        } else if (o.program.empty() && (a == "-" || a[0] != '-')) {
            o.program = a;
        } else {
            return bad("unknown option '" + a + "'");
        }
    }
    if (o.program.empty())
        return code = usage("gcode: which program?"), false;
    return true;
}

std::string mm_text(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

std::string duration_text(double ms)
{
    char buf[64];
    double s = ms / 1000;
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%.1f s", s);
    else
        std::snprintf(buf, sizeof buf, "%d min %.1f s", static_cast<int>(s / 60),
                      s - 60 * std::floor(s / 60));
    return buf;
}

void report_check(const Program &p, const Settings &s, std::ostream &out)
{
    size_t lines = 0, arcs = 0, circles = 0;
    for (const Move &m : p.moves) {
        lines += m.op == Op::Line;
        arcs += m.op == Op::Arc;
        circles += m.op == Op::Circle;
    }
    out << p.name << ": " << p.lines << " lines, no errors; the card gets " << lines
        << " lines, " << arcs << " arcs, " << circles << " circles\n";
    const char *axes = "XYZ";
    out << "extent (mm from where the card starts):";
    for (int a = 0; a < 3; a++)
        out << "  " << axes[a] << " " << mm_text(p.extent.low[a]) << " .. "
            << mm_text(p.extent.high[a]);
    out << "\nends at (pulses): X " << p.end[0] << "  Y " << p.end[1] << "  Z " << p.end[2]
        << "\nestimated time: " << duration_text(estimated_ms(p, s)) << " (" << p.slices
        << " slices of " << s.slice_us << " us";
    if (p.dwell_ms > 0)
        out << ", dwells " << duration_text(p.dwell_ms);
    out << ")\n";
}

// The run on the machine, observed into a recording as `korva3 run` does.
class GcodeRun {
public:
    GcodeRun(const Options &o, const Settings &s, const Program &p) : o_(o), set_(s), prog_(p) {}

    // csv: where to write every executed position (null: nowhere).
    int go(Recording &rec, std::ostream *csv)
    {
        std::string error;
        if (!machine::setup(o_.setup, error)) {
            std::cerr << "korva3: " << error << "\n";
            return EXIT_USAGE;
        }
        rec.job = prog_.name;
        rec.machine = machine::kind();
        rec.start_ms = machine::clock_ms();
        KORVA3_INITIAL();
        if (KORVA3_REGISTRATION(0, o_.setup.cards.front().id_switch) != 1) {
            std::cerr << "korva3: card 0 (ID " << o_.setup.cards.front().id_switch
                      << ") does not answer; nothing was run\n";
            return EXIT_JOB_FAILED;
        }
        std::array<int32_t, 3> start{};
        settled_position(start);
        RunWatch watch(rec, false, csv);
        const std::vector<std::array<int32_t, 3>> at_start = machine::card_positions();
        for (size_t i = 0; i < at_start.size(); i++) {
            CardTrace &t = rec.cards.size() > i ? rec.cards[i] : rec.cards.emplace_back();
            t.index = static_cast<int>(i);
            t.path.push_back({rec.start_ms, at_start[i][0], at_start[i][1], at_start[i][2]});
            watch.refresh_period(static_cast<int>(i));
        }
        machine::watch(&watch);
        if (o_.output != Output::Quiet)
            std::cout << "korva3: " << prog_.name << " on the " << machine::kind() << ", "
                      << prog_.moves.size() << " moves, estimated "
                      << duration_text(estimated_ms(prog_, set_)) << "\n";

        Hooks hooks;
        uint32_t polls = 0;
        hooks.poll = [&](const Progress &p) {
            if (p.move) {
                watch.set_line(p.move->line);
                watch.set_defining_line(0, p.move->line);
            }
            polls++;
            Control c;
            c.stop = machine::clock_ms() - rec.start_ms > o_.limit_ms;
            return c;
        };
        hooks.sleep = [](uint32_t ms) { machine::sleep_ms(ms); };
        hooks.pause = [&](int line) {
            std::cout << prog_.name << ":" << line << ": M0, paused";
            if (machine::is_virtual()) {
                std::cout << "; going on (virtual card)\n";
                return true;
            }
            std::cout << "; press Enter to go on\n";
            std::string answer;
            return static_cast<bool>(std::getline(std::cin, answer));
        };
        int line = 0;
        RunEnd end = run_program(prog_, set_, 0, hooks, line);
        int code = EXIT_OK;
        if (end == RunEnd::Stopped) {
            std::cerr << prog_.name << ":" << line << ": stopped at the time limit ("
                      << o_.limit_ms << " ms)\n";
            code = EXIT_JOB_FAILED;
        } else if (end == RunEnd::Refused) {
            std::cerr << prog_.name << ":" << line << ": the library refused the move\n";
            code = EXIT_JOB_FAILED;
        } else if (end == RunEnd::Paused) {
            std::cerr << prog_.name << ":" << line << ": stopped at M0\n";
            code = EXIT_JOB_FAILED;
        }
        while (KORVA3_MSC(0) & kWorking) {
            if (machine::clock_ms() - rec.start_ms > o_.limit_ms) {
                std::cerr << prog_.name << ": the card is still at work at the time limit\n";
                code = EXIT_JOB_FAILED;
                break;
            }
            machine::sleep_ms(1);
        }
        rec.end_ms = machine::clock_ms();
        machine::watch(nullptr);
        for (size_t i = 0; i < rec.cards.size(); i++)
            rec.cards[i].card = machine::card_number(static_cast<int>(i));
        watch.finish(rec.end_ms);

        std::array<int32_t, 3> at{};
        settled_position(at);
        std::cout << "card 0: X " << at[0] << "  Y " << at[1] << "  Z " << at[2] << "  ("
                  << mm_text((at[0] - start[0]) / set_.scale[0]) << ", "
                  << mm_text((at[1] - start[1]) / set_.scale[1]) << ", "
                  << mm_text((at[2] - start[2]) / set_.scale[2]) << " mm) after "
                  << duration_text(rec.end_ms - rec.start_ms) << "\n";
        if (code == EXIT_OK)
            for (int a = 0; a < 3; a++)
                if (at[a] - start[a] != prog_.end[a]) {
                    std::cerr << prog_.name << ": the card ended " << (at[a] - start[a])
                              << " pulses from its start on " << "XYZ"[a] << ", the program at "
                              << prog_.end[a] << "\n";
                    code = EXIT_JOB_FAILED;
                }
        return code;
    }

private:
    // Card 0's position. A real card reports it in status frames every 20 ms, so the
    // first read waits for a fresh one (the readers give 0 before the first frame).
    static void settled_position(std::array<int32_t, 3> &xyz)
    {
        if (!machine::is_virtual())
            machine::sleep_ms(60);
        machine::position(0, xyz);
    }

    const Options &o_;
    const Settings &set_;
    const Program &prog_;
};

bool write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "korva3: cannot write " << path << "\n";
        return false;
    }
    std::cout << where(path) << "\n";
    return true;
}

} // namespace

int gcode_command(int argc, char **argv)
{
    Options o;
    int code = EXIT_OK;
    if (!parse(argc, argv, o, code))
        return code;
    Settings settings;
    std::string error;
    if (!o.machine_file.empty() && !read_machine_file(o.machine_file, settings, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (!o.scale.empty() && !parse_scale(o.scale, settings, error))
        return usage(error);
    if (o.setup.slice_us > 0)
        settings.slice_us = static_cast<uint32_t>(o.setup.slice_us);
    else if (o.setup.slice_us < 0 && machine::is_virtual())
        o.setup.slice_us = settings.slice_us; // the virtual card runs the machine's period
    if ((!o.plot.empty() || !o.csv.empty()) && !machine::is_virtual())
        return usage("--plot and --csv need the virtual card (only it reports the path)");

    std::ostringstream text;
    if (o.program == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(o.program, std::ios::binary);
        if (!in) {
            std::cerr << "korva3: cannot read " << o.program << "\n";
            return EXIT_USAGE;
        }
        text << in.rdbuf();
    }
    Program program;
    std::vector<std::string> errors;
    std::string name = o.program == "-" ? "stdin" : o.program;
    bool good = read_program(name, text.str(), settings, program, errors);
    for (const std::string &e : errors)
        std::cerr << e << "\n";
    if (!good) {
        std::cerr << "korva3: nothing was run\n";
        return EXIT_USAGE;
    }
    for (const std::string &w : program.warnings)
        std::cerr << w << "\n";
    if (o.check) {
        report_check(program, settings, std::cout);
        return EXIT_OK;
    }

    if (o.limit_ms == 0)
        o.limit_ms = static_cast<uint32_t>(
            std::fmin(UINT32_MAX / 2, std::fmax(600000, 2 * estimated_ms(program, settings) + 60000)));
    std::ofstream csv;
    if (!o.csv.empty()) {
        csv.open(o.csv, std::ios::binary);
        if (!csv) {
            std::cerr << "korva3: cannot write " << o.csv << "\n";
            return EXIT_USAGE;
        }
    }
    Recording rec;
    code = GcodeRun(o, settings, program).go(rec, o.csv.empty() ? nullptr : &csv);
    if (!o.plot.empty()) {
        std::cout << "plot: ";
        if (!write_file(o.plot, svg_plot(rec)))
            return EXIT_JOB_FAILED;
    }
    if (!o.csv.empty()) {
        csv.close();
        if (!csv) {
            std::cerr << "korva3: cannot write " << o.csv << "\n";
            return EXIT_JOB_FAILED;
        }
        std::cout << "csv: " << where(o.csv) << "\n";
    }
    return code;
}

} // namespace korva3_tool
