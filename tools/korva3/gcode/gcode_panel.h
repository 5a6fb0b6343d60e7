// gcode_panel.h - a G-code run on the virtual machine's panel, over the controller: the
// check's planned path (drawn before the card moves), the listing around the line the
// card executes, progress and time left from the check's plan, the feed; and the
// operator's cycle start, feed override, feed hold and stop, handed to the controller.
#ifndef KORVA3_TOOL_GCODE_PANEL_H
#define KORVA3_TOOL_GCODE_PANEL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "control/controller.h"
#include "control/program_check.h"
#include "control/program_listing.h"
#include "gcode/settings.h"

namespace korva3_tool {

class GcodePanel {
public:
    // `path`: the program's file, for its listing; `takes_start`: the page's cycle start
    // starts the program (else it starts at once).
    GcodePanel(std::shared_ptr<const korva3_control::ProgramCheck> check,
               const korva3_gcode::Settings &settings, const std::string &path, bool takes_start);

    // Before the run: the job with its planned path from the card's `origin` (pulses).
    void describe(const std::array<int32_t, 3> &origin);
    // Every turn of the controller (its own thread): what it shows goes to the page, at
    // most every kPublishEvery; the operator's requests go to the controller.
    void follow(korva3_control::Controller &controller);
    // The end: the controls go off and the page shows `how`; the progress stays where
    // it was unless the program ran to its end (`complete`).
    void ended(const std::string &how, bool complete);

private:
    void publish(const korva3_control::Snapshot &s, bool now);

    std::shared_ptr<const korva3_control::ProgramCheck> check_;
    const korva3_gcode::Settings &set_;
    korva3_control::ProgramListing listing_;
    bool takes_start_;
    std::string description_;
    uint32_t wants_ = 0;          // the operator's request bits last seen
    uint32_t override_ = 100;     // the override last asked
    korva3_control::Snapshot last_;
    std::string end_;
    bool complete_ = false;
    std::chrono::steady_clock::time_point next_publish_{};
};

} // namespace korva3_tool

#endif
