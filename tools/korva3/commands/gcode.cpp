// gcode.cpp - `korva3 gcode FILE.ngc`: the program is read and checked whole
// (korva3_gcode), then run on card number 0 of the machine through the run driver, as
// jobs are.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "cli/usage.h"
#include "commands/commands.h"
#include "commands/gcode_check.h"
#include "commands/gcode_input.h"
#include "commands/gcode_panel.h"
#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "korva3.h"
#include "machine/machine.h"
#include "planner/card_status.h"
#include "planner/stream.h"
#include "record/gcode_track.h"
#include "run/driver.h"
#include "run/interrupt.h"

namespace korva3_tool::commands {

namespace {

using namespace korva3_gcode;

// The program as the run driver's work: card 0 registered, every move sent, the end
// held against the program's.
class GcodeWork : public Work {
public:
    GcodeWork(const Settings &s, const Program &p, uint32_t id_switch, bool quiet,
              GcodePanel *panel)
        : set_(s), prog_(p), id_switch_(id_switch), quiet_(quiet), panel_(panel) {}

    int run(Session &session) override
    {
        errno = 0;
        if (KORVA3_INITIAL() != 0) {
            const int err = errno;
            std::cerr << "korva3: the card's port access could not be opened"
                      << (err ? std::string(": ") + std::strerror(err) : std::string())
                      << "; nothing was run\n";
            return EXIT_JOB_FAILED;
        }
        if (KORVA3_REGISTRATION(0, id_switch_) != 1) {
            std::cerr << "korva3: card 0 (ID " << id_switch_
                      << ") does not answer; nothing was run\n";
            return EXIT_JOB_FAILED;
        }
        session.track(0);
        session.note_card_numbers(); // the CSV's card column
        settled_position(start_);
        if (panel_) {
            for (int i = 0; i < machine::card_count(); i++) // the page in the program's mm
                machine::set_panel_scale(i, set_.scale);
            panel_->describe(start_, [&session] { return session.watch().executed_line(0); });
        }
        if (!quiet_)
            std::cout << "korva3: " << prog_.name << " on the " << machine::kind() << ", "
                      << prog_.moves.size() << " moves, planned "
                      << duration_text(planned_ms(prog_, set_)) << "\n";
        korva3_planner::Slicer slicer(path_moves(prog_), planner_limits(set_));
        uint32_t t0 = machine::clock_ms();
        korva3_planner::StreamReport r = korva3_planner::stream_to_card(slicer, 0, hooks(session));
        motion_ms_ = machine::clock_ms() - t0;
        underruns_ = r.underruns;
        end_line_ = r.line;
        if (r.end == korva3_planner::StreamEnd::Stopped) {
            std::cerr << prog_.name << ":" << r.line << ": stopped by the operator (panel)\n";
            return EXIT_STOPPED;
        }
        const char *why = r.end == korva3_planner::StreamEnd::Emergency ? "stopped at the time limit"
                          : r.end == korva3_planner::StreamEnd::ActionRefused ? "stopped at its pause (no Enter)"
                                                                          : nullptr;
        if (!why)
            return EXIT_OK;
        std::cerr << prog_.name << ":" << r.line << ": " << why;
        if (r.end == korva3_planner::StreamEnd::Emergency)
            std::cerr << " (" << session.options().limit_ms << " ms)";
        std::cerr << "\n";
        return EXIT_JOB_FAILED;
    }

    int finish(Session &session, const Settled &settled, int code) override
    {
        if (!session.cards().count(0)) { // never registered: nothing ran
            if (panel_)
                panel_->ended("card 0 does not answer, exit code " + std::to_string(code));
            return code;
        }
        if (!settled.at_rest) {
            std::cerr << prog_.name << ": the card is still at work at the time limit\n";
            code = EXIT_JOB_FAILED;
        }
        const Recording &rec = session.recording();
        std::array<int32_t, 3> at{};
        settled_position(at);
        std::cout << "card 0: X " << at[0] << "  Y " << at[1] << "  Z " << at[2] << "  ("
                  << mm_text((at[0] - start_[0]) / set_.scale[0]) << ", "
                  << mm_text((at[1] - start_[1]) / set_.scale[1]) << ", "
                  << mm_text((at[2] - start_[2]) / set_.scale[2]) << " mm) after "
                  << duration_text(rec.end_ms - rec.start_ms) << " (" << (rec.end_ms - rec.start_ms)
                  << " ms, the program " << motion_ms_ << " ms; queue ran dry " << underruns_
                  << " times)\n";
        const korva3_planner::PulsePoint end = korva3_planner::to_pulses(prog_.end, set_.scale);
        if (code == EXIT_OK)
            for (int a = 0; a < 3; a++)
                if (at[a] - start_[a] != end[a]) {
                    std::cerr << prog_.name << ": the card ended " << (at[a] - start_[a])
                              << " pulses from its start on " << "XYZ"[a]
                              << ", the program at " << end[a] << "\n";
                    code = EXIT_JOB_FAILED;
                }
        if (panel_)
            panel_->ended(code == EXIT_OK        ? "program complete, exit code 0"
                          : code == EXIT_STOPPED ? "stopped by the operator at line " +
                                                       std::to_string(end_line_) + ", exit code 4"
                                                 : "failed, exit code " + std::to_string(code));
        return code;
    }

private:
    // Each slice's line goes to the watch before the slice is sent, so the card's queue
    // carries it with the slice (the CSV's line column); between polls, past
    // the limit, an emergency stop; at a Stop, the program's action with the card at rest.
    korva3_planner::StreamHooks hooks(Session &session)
    {
        korva3_planner::StreamHooks h;
        h.sending = [this, &session, last = -1](const korva3_planner::Slice &s) mutable {
            if (panel_)
                panel_->sending(s);
            if (s.line != last) {
                show_messages(s.line);
                session.watch().set_line(s.line);
                session.watch().set_defining_line(0, s.line);
                last = s.line;
            }
        };
        // Every slice: once Ctrl-C has stopped the card, this thread parks (no slice may
        // follow the handler's stop); past the limit, an emergency stop.
        // With the panel, the operator's override, hold and stop; at rest after a hold,
        // time passes between polls (the machine waits for the operator, never the
        // reverse).
        h.poll = [this, &session](const korva3_planner::Status &st) {
            if (interrupt::exiting())
                interrupt::wait_for_exit();
            korva3_planner::Controls c;
            if (panel_) {
                // Held once the card has run what it had queued.
                c = panel_->controls(st.held && !korva3_planner::at_work(st.card_status));
                if (st.held)
                    machine::sleep_ms(kHeldPollMs);
            }
            c.emergency = session.over_limit();
            return c;
        };
        h.poll_every = 1;
        h.action = [this](uint32_t index) { return act(prog_.moves[index]); };
        return h;
    }

    // The program's "(MSG, ...)" texts up to `line`, each once.
    void show_messages(int line)
    {
        while (next_message_ < prog_.messages.size() &&
               prog_.messages[next_message_].line <= line) {
            const Program::Message &msg = prog_.messages[next_message_++];
            std::cout << prog_.name << ":" << msg.line << ": " << msg.text << "\n";
        }
    }

    // What happens with the machine at rest: dwells, outputs, M0, the end.
    bool act(const Move &m)
    {
        show_messages(m.line);
        switch (m.op) {
        case Op::Dwell:
            machine::sleep_ms(m.ms);
            return true;
        case Op::Outputs:
        case Op::End:
            if (m.op == Op::Outputs || m.outputs != outputs_)
                KORVA3_DO(0, m.outputs);
            outputs_ = m.outputs;
            return true;
        case Op::Pause: {
            std::cout << prog_.name << ":" << m.line << ": "
                      << (m.note >= 0 ? prog_.notes[m.note] : std::string("M0")) << ", paused";
            if (machine::is_virtual()) {
                std::cout << "; going on (virtual card)\n";
                return true;
            }
            std::cout << "; press Enter to go on\n";
            std::string answer;
            return static_cast<bool>(std::getline(std::cin, answer));
        }
        default:
            return true;
        }
    }

    // Card 0's position. A real card reports it in status frames every 20 ms, so the
    // first read waits for a fresh one (the readers give 0 before the first frame).
    static void settled_position(std::array<int32_t, 3> &xyz)
    {
        if (!machine::is_virtual())
            machine::sleep_ms(60);
        machine::position(0, xyz);
    }

    static constexpr uint32_t kHeldPollMs = 5;

    const Settings &set_;
    const Program &prog_;
    uint32_t id_switch_;
    bool quiet_;
    GcodePanel *panel_; // null: no panel
    int end_line_ = 0;  // where the path ended
    std::array<int32_t, 3> start_{};
    uint64_t underruns_ = 0;
    uint32_t motion_ms_ = 0; // from the first slice to the card at rest after the last
    uint32_t outputs_ = 0;
    size_t next_message_ = 0; // the first of prog_.messages not shown yet
};

// What each program line moves at, for the plot: rapid or cut, and its feed (the tool
// runs at 100 % override).
std::shared_ptr<GcodeTrack> gcode_track(const Program &p, const Settings &s)
{
    std::map<int, GcodeLine> lines;
    double span = 0;
    for (const Move &m : p.moves)
        if (m.op == Op::Line || m.op == Op::Arc || m.op == Op::Circle)
            lines[m.line] = {m.rapid, m.feed_mm_min};
    for (int a = 0; a < 3; a++)
        span = std::max(span, p.extent.high[a] - p.extent.low[a]);
    return std::make_shared<GcodeTrack>(s.scale, std::move(lines), span);
}

} // namespace

int gcode(int argc, char **argv)
{
    std::string machine_file, scale;
    bool check = false, json = false;
    ReadOptions read_options;
    Accepts accepts;
    auto flag = [](bool &to, bool value) {
        return [&to, value](const char *) { to = value; return ""; };
    };
    accepts.shared = kOutputFiles | kQuiet | kLimit | kMachine | kPanel;
    accepts.operand_question = "which program?";
    accepts.own = {
        {"--scale", "a value", [&](const char *v) { scale = v; return ""; }},
        {"--machine", "a value", [&](const char *v) { machine_file = v; return ""; }},
        {"--check", nullptr, [&](const char *) { check = true; return ""; }},
        {"--json", nullptr, flag(json, true)},
        {"--skip-optional-stops", nullptr, flag(read_options.skip_optional_stops, true)},
        {"--read-deleted-lines", nullptr, flag(read_options.block_delete, false)},
        {"--max-errors", "a value",
         [&](const char *v) {
             char *end = nullptr;
             long n = std::strtol(v, &end, 10);
             if (*v == '\0' || *end != '\0' || n < 1 || n > 1000000)
                 return "--max-errors: a whole number 1..1000000";
             read_options.max_errors = static_cast<int>(n);
             return "";
         }},
        {"--max-iterations", "a value",
         [&](const char *v) {
             char *end = nullptr;
             long long n = std::strtoll(v, &end, 10);
             if (*v == '\0' || *end != '\0' || n < 1 || n > 1000000000)
                 return "--max-iterations: a whole number 1..1000000000";
             read_options.max_iterations = static_cast<long>(n);
             return "";
         }},
        {"--max-call-depth", "a value",
         [&](const char *v) {
             char *end = nullptr;
             long n = std::strtol(v, &end, 10);
             if (*v == '\0' || *end != '\0' || n < 1 || n > 100000)
                 return "--max-call-depth: a whole number 1..100000";
             read_options.max_call_depth = static_cast<int>(n);
             return "";
         }},
    };
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (!problem.empty())
        return usage_error(problem, kGcodeUsage);

    Settings settings;
    std::string error;
    if (!machine_file.empty() && !read_machine_file(machine_file, settings, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (!scale.empty() && !parse_scale(scale, settings, error))
        return usage_error(error, kGcodeUsage);
    if (cl.setup.slice_us > 0)
        settings.slice_us = static_cast<uint32_t>(cl.setup.slice_us);
    else if (cl.setup.slice_us < 0 && machine::is_virtual())
        cl.setup.slice_us = settings.slice_us; // the virtual card runs the machine's period

    Program program;
    if (json && !check)
        return usage_error("--json goes with --check", kGcodeUsage);
    std::string text;
    if (!read_named_program(cl.operand, settings, read_options, program, json, text))
        return EXIT_USAGE;
    if (check) {
        if (json)
            report_check_json(program, settings, std::cout);
        else
            report_check(program, settings, std::cout);
        return EXIT_OK;
    }

    DriveSetup setup;
    setup.name = program.name;
    setup.plot_path = cl.plot_path;
    setup.csv_path = cl.csv_path;
    if (!cl.plot_path.empty())
        setup.gcode = gcode_track(program, settings);
    setup.machine = cl.setup;
    setup.session.limit_ms =
        cl.limit_ms ? cl.limit_ms
                    : static_cast<uint32_t>(std::fmin(
                          UINT32_MAX / 2,
                          std::fmax(600000, 2 * planned_ms(program, settings) + 60000)));
    setup.session.settle_ms = setup.session.limit_ms; // the limit ends the wait
    setup.panel = cl.panel;
    setup.panel_port = cl.panel_port;
    setup.panel_keep = cl.panel_keep;
    std::unique_ptr<GcodePanel> panel;
    if (cl.panel)
        panel = std::make_unique<GcodePanel>(program, settings, text);
    GcodeWork work(settings, program, cl.setup.cards.front().id_switch,
                   cl.output == Output::Quiet, panel.get());
    return drive(setup, work);
}

} // namespace korva3_tool::commands
