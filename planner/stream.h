// stream.h - the planned path sent to a card, slice by slice, with KORVA3_INTP_PULSE.
//
// The card's queue paces the sender: while it is full the library waits for room, so
// the planner stays as far ahead of the card as the queue holds. Before every slice the
// card's status is read (KORVA3_GET_CARD): a card that stands idle while the path is
// still going has run dry (an underrun, counted). Every `poll_every` slices the caller
// sees the status and answers with the live controls. At a Stop the sender waits until
// the card stands, then lets the caller do its action.
//
// A caller that reads its program as it runs pushes moves into the slicer and pumps a
// Streamer in turns: pump() sends until the slicer needs more moves (or the run ends);
// the card runs on meanwhile from its queue.
#ifndef KORVA3_PLANNER_STREAM_H
#define KORVA3_PLANNER_STREAM_H

#include <cstdint>
#include <functional>

#include "planner/slicer.h"

namespace korva3_planner {

struct Status {
    uint32_t card_status = 0; // KORVA3_GET_CARD's result
    uint64_t slices = 0;      // slices sent
    bool held = false;        // at rest after a feed hold
};

struct Controls {
    uint32_t override = 100;  // feed override, % of the programmed feed (1..1000)
    bool hold = false;        // feed hold while true (resume: false again)
    bool stop = false;        // decelerate to rest and end
    bool emergency = false;   // KORVA3_EMG_STOP at once
};

struct StreamHooks {
    std::function<Controls(const Status &)> poll;         // may be empty
    std::function<bool(uint32_t action)> action;          // at a Stop; false ends the run
    std::function<void(const Slice &)> sending;           // before each slice; may be empty
    std::function<void(const Slice &)> sent;              // after each slice; may be empty
    uint32_t poll_every = 16;                             // slices between polls
};

enum class StreamEnd { Done, Stopped, Emergency, ActionRefused };

struct StreamReport {
    StreamEnd end = StreamEnd::Done; // once the run has ended
    uint64_t slices = 0;
    uint64_t underruns = 0; // slices the card found its queue empty mid-path
    int line = 0;           // program line of the last slice sent
    uint64_t step = 0;      // and its move's tag (PathMove::step)
};

class Streamer {
public:
    Streamer(Slicer &slicer, uint32_t card, const StreamHooks &hooks);

    // Sends slices and does actions until the slicer needs more moves (true: push them,
    // or finish(), and pump again) or the run ends (false: report().end says how).
    bool pump();
    bool ended() const { return ended_; }
    const StreamReport &report() const { return report_; }

private:
    bool end(StreamEnd how);

    Slicer &slicer_;
    uint32_t card_;
    StreamHooks hooks_;
    StreamReport report_;
    Status status_;
    Controls applied_;
    bool moving_ = false;    // slices are queued or running: an idle card has run dry
    uint32_t until_poll_ = 0;
    bool ended_ = false;
};

// The whole run of a slicer given all its moves (finished here if it was not).
StreamReport stream_to_card(Slicer &slicer, uint32_t card, const StreamHooks &hooks);

} // namespace korva3_planner

#endif
