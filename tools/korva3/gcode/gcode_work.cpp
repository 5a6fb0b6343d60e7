// gcode_work.cpp - a read program run on card 0 through the run driver.
#include "gcode/gcode_work.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "gcode/gcode_check.h"
#include "gcode/path_moves.h"
#include "korva3.h"
#include "machine/machine.h"
#include "planner/card_status.h"
#include "run/exit_codes.h"
#include "run/interrupt.h"

namespace korva3_tool {

using namespace korva3_gcode;

int GcodeWork::run(Session &session)
{
    using korva3_planner::StreamEnd;
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
    if (r.end == StreamEnd::Stopped) {
        std::cerr << prog_.name << ":" << r.line << ": stopped by the operator (panel)\n";
        return EXIT_STOPPED;
    }
    const char *why = r.end == StreamEnd::Emergency       ? "stopped at the time limit"
                      : r.end == StreamEnd::ActionRefused ? "stopped at its pause (no Enter)"
                                                          : nullptr;
    if (!why)
        return EXIT_OK;
    std::cerr << prog_.name << ":" << r.line << ": " << why;
    if (r.end == StreamEnd::Emergency)
        std::cerr << " (" << session.options().limit_ms << " ms)";
    std::cerr << "\n";
    return EXIT_JOB_FAILED;
}

int GcodeWork::finish(Session &session, const Settled &settled, int code)
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

// Each slice's line goes to the watch before the slice is sent, so the card's queue
// carries it with the slice (the CSV's line column); between polls, past
// the limit, an emergency stop; at a Stop, the program's action with the card at rest.
korva3_planner::StreamHooks GcodeWork::hooks(Session &session)
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
void GcodeWork::show_messages(int line)
{
    while (next_message_ < prog_.messages.size() &&
           prog_.messages[next_message_].line <= line) {
        const Program::Message &msg = prog_.messages[next_message_++];
        std::cout << prog_.name << ":" << msg.line << ": " << msg.text << "\n";
    }
}

// What happens with the machine at rest: dwells, outputs, M0, the end.
bool GcodeWork::act(const Move &m)
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
                  << m.note << ", paused";
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
void GcodeWork::settled_position(std::array<int32_t, 3> &xyz)
{
    if (!machine::is_virtual())
        machine::sleep_ms(60);
    machine::position(0, xyz);
}

} // namespace korva3_tool
