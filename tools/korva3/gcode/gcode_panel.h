// gcode_panel.h - the machine controller on the virtual machine's panel: a G-code run
// (`korva3 gcode --panel`) or an idle machine (`korva3 panel`). What it shows: the
// check's planned path (drawn before the card moves), the listing around the line the
// card executes, progress and time left from the check's plan, the programmed feed, the
// positions (work and machine, mm), the modal state and tool; what the operator asks
// (cycle start, feed override, hold, resume, stop, and the lines of panel_lines.h: MDI,
// jogs, homing, touch-off, run from a line, a program from the machine's folder) goes to
// the controller, each line's answer back to the page.
#ifndef KORVA3_TOOL_GCODE_PANEL_H
#define KORVA3_TOOL_GCODE_PANEL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "control/controller.h"
#include "control/program_check.h"
#include "control/program_listing.h"
#include "gcode/settings.h"

namespace korva3_tool {

class GcodePanel {
public:
    // `check`: the program's check (null: none loaded yet); `path`: its file, for its
    // listing; `takes_start`: the page's cycle start starts the program (else it starts
    // at once); `programs`: the machine's program folder the operator opens programs
    // from ("": none).
    GcodePanel(std::shared_ptr<const korva3_control::ProgramCheck> check,
               const korva3_gcode::Settings &settings, const std::string &path, bool takes_start,
               const std::string &programs = "");

    // Before the run: the job with its planned path from the card's `origin` (pulses).
    void describe(const std::array<int32_t, 3> &origin);
    // Every turn of the controller (its own thread): what it shows goes to the page, at
    // most every kPublishEvery; the operator's requests go to the controller.
    void follow(korva3_control::Controller &controller);
    // The end: the controls go off and the page shows `how`; the progress stays where
    // it was unless the program ran to its end (`complete`); `line`: the program's line
    // it ended at (0: as last seen).
    void ended(const std::string &how, bool complete, int line = 0);
    // The operator set a work offset (touch-off, an MDI line) or homed (a new machine
    // zero): the program's end is no longer where its check says.
    bool offsets_touched() const { return offsets_touched_; }

private:
    void publish(const korva3_control::Snapshot &s, bool now);
    void take_lines(korva3_control::Controller &controller, const korva3_control::Snapshot &s);
    void answer(long id, bool ok, const std::string &text);
    std::string run_from_text(int line); // what running from `line` does, in words
    void loaded(std::shared_ptr<const korva3_control::ProgramCheck> check);

    std::shared_ptr<const korva3_control::ProgramCheck> check_;
    const korva3_gcode::Settings &set_;
    std::string path_;
    std::unique_ptr<korva3_control::ProgramListing> listing_;
    bool takes_start_;
    std::string programs_dir_;
    std::vector<std::string> programs_; // the folder's programs, by name
    std::array<int32_t, 3> origin_{};
    std::string description_;
    uint32_t wants_ = 0;          // the operator's request bits last seen
    uint32_t override_ = 100;     // the override last asked
    korva3_control::Snapshot last_;
    std::string end_;
    bool complete_ = false;
    bool offsets_touched_ = false;
    bool answered_ = false;       // an answer since the last publish
    bool program_ran_ = false;    // the program has begun (cycle start taken)
    int at_line_ = 0;             // the program's line the card executed last,
    double at_done_ = 0;          // the progress there (0..1)
    double at_left_ms_ = 0;       // and the time left (ms, at 100 %)
    double at_feed_ = 0;          // that line's programmed feed (mm/min)
    bool at_rapid_ = false;
    long asked_id_ = 0;           // a line sent to the controller, answered next turn
    std::string asked_verb_;      // its words, for the answer
    std::deque<std::array<std::string, 3>> answers_; // id, "1"/"0", text: the last few
    std::chrono::steady_clock::time_point next_publish_{};
};

} // namespace korva3_tool

#endif
