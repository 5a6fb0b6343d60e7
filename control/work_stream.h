// work_stream.h - one work's moves (a program's, an MDI line's, a jog's) streamed to
// the card as they come: pushed into the planner's window, sent as slices by the
// stream, with the controller's requests taken between slices (hold, resume, stop,
// the override, a jog's renewal, the emergency stop). Where the machine must stand
// (dwells, outputs, pauses, the end) the stream waits for the card to stand, then the
// move's action is done; the moves waiting to be acted on are kept only until then.
#ifndef KORVA3_CONTROL_WORK_STREAM_H
#define KORVA3_CONTROL_WORK_STREAM_H

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "control/controller_impl.h"
#include "gcode/move.h"
#include "planner/slicer.h"
#include "planner/stream.h"

namespace korva3_control {

class WorkStream {
public:
    // `start`: where the machine stands, machine mm (the planner's path starts there).
    WorkStream(Controller::Impl &c, const korva3_gcode::MmPoint &start);

    // The next move of the work (machine mm) and the reader's step of its line. False
    // once the run has ended (stopped, an emergency, a refused pause): read no more.
    bool push(const korva3_gcode::Move &move, uint64_t step);
    // A "(MSG, ...)" of the step's line, told when the step's slices go out.
    void message(uint64_t step, int line, const std::string &text);
    // Sends the slices the moves pushed so far fix (the card's full queue paces it), as
    // push() does; false once the run has ended.
    bool send_ready();
    // No more moves: runs to the end. How it ended.
    const korva3_planner::StreamReport &finish();

    uint32_t motion_ms() const { return motion_ms_; }

private:
    bool pump();
    korva3_planner::StreamHooks hooks();
    korva3_planner::Controls poll(const korva3_planner::Status &st);
    bool act(const korva3_gcode::Move &m);
    bool wait(uint32_t ms);
    bool step_while_standing();
    void tell_messages(uint64_t step);

    Controller::Impl &c_;
    korva3_gcode::MmPoint start_;
    korva3_planner::Slicer slicer_;
    korva3_planner::Streamer streamer_;
    std::deque<std::pair<uint32_t, korva3_gcode::Move>> actions_; // pushed, not yet done
    uint32_t next_action_ = 0;
    struct Message {
        uint64_t step;
        int line;
        std::string text;
    };
    std::deque<Message> messages_; // read, not yet told
    uint32_t applied_override_ = 100;
    uint32_t published_ms_ = 0;
    uint32_t t0_ = 0, motion_ms_ = 0;
    bool started_ = false;
};

} // namespace korva3_control

#endif
