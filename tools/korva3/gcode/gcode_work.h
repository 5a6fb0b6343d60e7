// gcode_work.h - a checked program as the run driver's work: the machine controller
// opens card 0, runs the program (at once, or at cycle start on the panel), and the
// card's end is held against the program's.
#ifndef KORVA3_TOOL_GCODE_WORK_H
#define KORVA3_TOOL_GCODE_WORK_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "control/controller.h"
#include "control/program_check.h"
#include "gcode/gcode_panel.h"
#include "gcode/settings.h"
#include "record/gcode_track.h"
#include "run/driver.h"

namespace korva3_tool {

struct GcodeRun {
    std::string path;                                  // the program's file
    std::shared_ptr<const korva3_control::ProgramCheck> check; // its check (accepted)
    korva3_gcode::Settings settings;
    korva3_gcode::ReadOptions read;
    uint32_t id_switch = 0;  // card 0's ID switch
    bool quiet = false;      // no line before the run
    bool start_at_once = true; // false: the panel's cycle start starts it
    std::shared_ptr<GcodeTrack> track; // the plot's record (null: no plot)
};

class GcodeWork : public Work {
public:
    // `panel`: null for none.
    GcodeWork(const GcodeRun &run, GcodePanel *panel) : run_(run), panel_(panel) {}

    int run(Session &session) override;
    int finish(Session &session, const Settled &settled, int code) override;

private:
    korva3_control::ControlHooks hooks(Session &session);
    static void settled_position(std::array<int32_t, 3> &xyz);

    const GcodeRun &run_;
    GcodePanel *panel_; // null: no panel
    korva3_control::Controller *controller_ = nullptr; // while run() runs
    korva3_control::WorkReport report_;
    bool opened_ = false;
    bool limit_stop_ = false;        // the time limit stopped it
    bool paused_stop_ = false;       // a pause on real cards got no Enter
    bool panel_estop_ = false;       // the panel's emergency stop ended it
    std::array<int32_t, 3> start_{}; // card 0's position before the run, pulses
};

} // namespace korva3_tool

#endif
