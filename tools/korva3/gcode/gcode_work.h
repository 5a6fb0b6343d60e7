// gcode_work.h - a read program as the run driver's work: card 0 registered, the
// planned path streamed to it, the program's stops acted on with the card at rest
// (dwells, outputs, pauses, messages), and the card's end held against the program's.
#ifndef KORVA3_TOOL_GCODE_WORK_H
#define KORVA3_TOOL_GCODE_WORK_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "gcode/gcode_panel.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "planner/stream.h"
#include "run/driver.h"

namespace korva3_tool {

class GcodeWork : public Work {
public:
    // `id_switch`: card 0's ID; `quiet`: no line before the run; `panel`: null for none.
    GcodeWork(const korva3_gcode::Settings &s, const korva3_gcode::Program &p,
              uint32_t id_switch, bool quiet, GcodePanel *panel)
        : set_(s), prog_(p), id_switch_(id_switch), quiet_(quiet), panel_(panel) {}

    int run(Session &session) override;
    int finish(Session &session, const Settled &settled, int code) override;

private:
    korva3_planner::StreamHooks hooks(Session &session);
    void show_messages(int line);
    bool act(const korva3_gcode::Move &m);
    static void settled_position(std::array<int32_t, 3> &xyz);

    static constexpr uint32_t kHeldPollMs = 5; // between polls while the path is held

    const korva3_gcode::Settings &set_;
    const korva3_gcode::Program &prog_;
    uint32_t id_switch_;
    bool quiet_;
    GcodePanel *panel_; // null: no panel
    int end_line_ = 0;  // where the path ended
    std::array<int32_t, 3> start_{}; // card 0's position before the run, pulses
    uint64_t underruns_ = 0;
    uint32_t motion_ms_ = 0; // from the first slice to the card at rest after the last
    uint32_t outputs_ = 0;   // the card's output bits as the program last set them
    size_t next_message_ = 0; // the first of prog_.messages not shown yet
};

} // namespace korva3_tool

#endif
