// gcode_work.cpp - a checked program run on card 0 by the machine controller, through
// the run driver.
#include "gcode/gcode_work.h"

#include <iostream>
#include <string>

#include "control/figures_text.h"
#include "korva3.h"
#include "machine/control_link.h"
#include "machine/machine.h"
#include "run/exit_codes.h"
#include "run/interrupt.h"

namespace korva3_tool {

namespace kc = korva3_control;
using korva3_control::duration_text;
using korva3_control::mm_text;

int GcodeWork::run(Session &session)
{
    ControlLink link;
    kc::ControlOptions o;
    o.settings = run_.settings;
    o.read = run_.read;
    o.id_switch = run_.id_switch;
    o.zero_where_card_starts = true; // the program's zero is where the card stands now
    kc::Controller controller(link, o, hooks(session));
    std::string error;
    if (!controller.open(error)) {
        std::cerr << "korva3: " << error << "; nothing was run\n";
        return EXIT_JOB_FAILED;
    }
    opened_ = true;
    controller_ = &controller;
    session.track(0);
    session.note_card_numbers(); // the CSV's card column
    settled_position(start_);
    controller.load_checked(run_.path, run_.check);
    if (panel_) {
        for (int i = 0; i < machine::card_count(); i++) // the page in the program's mm
            machine::set_panel_scale(i, run_.settings.scale);
        panel_->describe(start_);
    }
    const kc::ProgramCheck &c = *run_.check;
    if (!run_.quiet)
        std::cout << "korva3: " << c.name << " on the " << machine::kind() << ", "
                  << c.moves << " moves, planned " << duration_text(c.planned_ms)
                  << (run_.start_at_once ? "" : "; press cycle start on the panel") << "\n";
    if (run_.start_at_once)
        controller.cycle_start();
    // Until the program has run (or was stopped, or stopped by an emergency).
    controller.serve([&] { return controller.last_work().activity == kc::Activity::Program ||
                                  controller.snapshot().state == kc::State::EStop; });
    controller_ = nullptr;
    report_ = controller.last_work();
    const std::string &name = c.name;
    if (limit_stop_ || controller.snapshot().state == kc::State::EStop) {
        const bool limit = limit_stop_;
        panel_estop_ = !limit && machine::panel_estop();
        std::cerr << name << ":" << report_.line << ": "
                  << (limit ? "stopped at the time limit"
                      : panel_estop_ ? "stopped by the emergency stop (panel)"
                                     : "stopped by the emergency stop");
        if (limit)
            std::cerr << " (" << session.options().limit_ms << " ms)";
        std::cerr << "\n";
        return panel_estop_ ? EXIT_EMERGENCY : EXIT_JOB_FAILED;
    }
    switch (report_.end) {
    case kc::WorkReport::End::Done:
        return EXIT_OK;
    case kc::WorkReport::End::Stopped:
        std::cerr << name << ":" << report_.line << ": "
                  << (paused_stop_ ? "stopped at its pause (no Enter)" : "stopped by the operator (panel)")
                  << "\n";
        return paused_stop_ ? EXIT_JOB_FAILED : EXIT_STOPPED;
    default:
        std::cerr << name << ": " << report_.error << "\n";
        return EXIT_JOB_FAILED;
    }
}

int GcodeWork::finish(Session &session, const Settled &settled, int code)
{
    const kc::ProgramCheck &c = *run_.check;
    if (!opened_) { // never registered: nothing ran
        if (panel_)
            panel_->ended("card 0 does not answer, exit code " + std::to_string(code), false);
        return code;
    }
    if (!settled.at_rest) {
        std::cerr << c.name << ": the card is still at work at the time limit\n";
        code = EXIT_JOB_FAILED;
    }
    const Recording &rec = session.recording();
    const korva3_gcode::Settings &s = run_.settings;
    std::array<int32_t, 3> at{};
    settled_position(at);
    std::cout << "card 0: X " << at[0] << "  Y " << at[1] << "  Z " << at[2] << "  ("
              << mm_text((at[0] - start_[0]) / s.scale[0]) << ", "
              << mm_text((at[1] - start_[1]) / s.scale[1]) << ", "
              << mm_text((at[2] - start_[2]) / s.scale[2]) << " mm) after "
              << duration_text(rec.end_ms - rec.start_ms) << " (" << (rec.end_ms - rec.start_ms)
              << " ms, the program " << report_.motion_ms << " ms; queue ran dry "
              << report_.underruns << " times)\n";
    const korva3_planner::PulsePoint end = korva3_planner::to_pulses(c.end, s.scale);
    // A work offset the operator set (touch-off, MDI) moves the program's end.
    if (code == EXIT_OK && !(panel_ && panel_->offsets_touched()))
        for (int a = 0; a < 3; a++)
            if (at[a] - start_[a] != end[a]) {
                std::cerr << c.name << ": the card ended " << (at[a] - start_[a])
                          << " pulses from its start on " << "XYZ"[a]
                          << ", the program at " << end[a] << "\n";
                code = EXIT_JOB_FAILED;
            }
    if (panel_)
        panel_->ended(code == EXIT_OK        ? "program complete, exit code 0"
                      : code == EXIT_STOPPED ? "stopped by the operator at line " +
                                                   std::to_string(report_.line) + ", exit code 4"
                      : code == EXIT_EMERGENCY ? "emergency stop at line " +
                                                     std::to_string(report_.line) +
                                                     ", spindle and coolant off, exit code 3"
                                               : "failed, exit code " + std::to_string(code),
                      code == EXIT_OK, report_.line);
    return code;
}

// Each slice's line goes to the watch before the slice is sent, so the card's queue
// carries it with the slice (the CSV's line column). Every turn: once Ctrl-C has stopped
// the card, this thread parks (no slice may follow the handler's stop); past the time
// limit, an emergency stop; with the panel, the operator's requests go to the controller.
kc::ControlHooks GcodeWork::hooks(Session &session)
{
    kc::ControlHooks h;
    h.sending = [this, &session, last = -1](const korva3_planner::Slice &s) mutable {
        if (run_.track)
            run_.track->line_sent(s.line, {s.rapid, s.feed_mm_s * 60});
        if (s.line != last) {
            session.watch().set_line(s.line);
            session.watch().set_defining_line(0, s.line);
            last = s.line;
        }
    };
    h.message = [this](int line, const std::string &text) {
        std::cout << run_.check->name << ":" << line << ": " << text << "\n";
    };
    h.poll = [this, &session] {
        if (interrupt::exiting())
            interrupt::wait_for_exit();
        if (!controller_)
            return;
        if (session.over_limit() && !limit_stop_) {
            limit_stop_ = true;
            controller_->emergency_stop();
        }
        if (panel_)
            panel_->follow(*controller_);
    };
    h.pause = [this](int line, const std::string &note) {
        std::cout << run_.check->name << ":" << line << ": " << note << ", paused";
        if (machine::is_virtual()) {
            std::cout << "; going on (virtual card)\n";
            return true;
        }
        std::cout << "; press Enter to go on\n";
        std::string answer;
        if (std::getline(std::cin, answer))
            return true;
        paused_stop_ = true;
        kc::Request r;
        r.ask = kc::Ask::Stop;
        controller_->post(r);
        return false;
    };
    return h;
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
