// run_watch.h - watches the virtual cards while a job runs: counts what each step sent,
// thins the executed path into the recording, tracks each axis's speed over time, marks
// where each job line's motion began, and streams every position to the CSV file.
//
// Slices run some time after they are sent (the controller queues them), so each card
// keeps the job lines of its queued slices, run-length coded, and gives every executed
// slice the line that defined it: the path call, also when a later poll sent it.
#ifndef KORVA3_TOOL_RUN_WATCH_H
#define KORVA3_TOOL_RUN_WATCH_H

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <utility>
#include <vector>

#include "record/frames.h"
#include "machine/machine.h"
#include "record/recording.h"

namespace korva3_tool {

class RunWatch : public Observer {
public:
    // trace: keep every frame of a step (for --trace). csv: where to write every
    // position (null: nowhere).
    RunWatch(Recording &recording, bool trace, std::ostream *csv);

    // The job line now running, and the line that defines the motion of virtual card
    // `index` from now on (a path, move or homing call).
    void set_line(int line) { line_ = line; }
    void set_defining_line(int index, int line);

    // What the current step sent, by virtual card; forgotten by new_step().
    const std::map<int, FrameTally> &tallies() const { return tallies_; }
    const std::vector<std::pair<int, RawFrame>> &frames() const { return frames_; }
    uint64_t step_slices() const { return step_slices_; }
    double step_pulses() const { return step_pulses_; } // path length sent, pulses
    void new_step();
    // The line of the last slice virtual card `index` executed (0: none yet).
    int executed_line(int index) const
    {
        return index >= 0 && static_cast<size_t>(index) < cards_.size() ? cards_[index].slice_line : 0;
    }
    // Virtual time of the last position change seen.
    uint64_t last_t_us() const { return last_t_us_; }
    // Reads card `index`'s slice period again (at the start, and after the job changed
    // it). Never from inside the machine.
    void refresh_period(int index);

    // Called every few thousand frames while a step runs (for a status line).
    void on_progress(void (*fn)(void *), void *user)
    {
        progress_ = fn;
        progress_user_ = user;
    }

    // The end of the run: every card's thinned path and its idle time up to t_ms.
    void finish(uint32_t end_ms);

    void frame(int index, const RawFrame &f) override;
    void moved(int index, uint64_t t_us, int32_t x, int32_t y, int32_t z, MovedBy by) override;

private:
    struct Card {
        PathThinner thinner;
        bool started = false;
        int32_t x = 0, y = 0, z = 0;   // last position
        uint32_t period_us = 1000;     // slice period
        int defining = 0;              // line defining its motion (0: none yet)
        int axis_line = 0;             // line of the last move or homing command
        bool axis_mark_due = false;
        int slice_line = 0;            // line of the last slice executed
        std::deque<std::pair<int, uint64_t>> queued; // (line, slices) sent, not yet run
    };
    Card &card(int index);

    Recording &rec_;
    bool trace_;
    std::ostream *csv_;
    int line_ = 0;
    std::vector<Card> cards_;
    std::map<int, FrameTally> tallies_;
    std::vector<std::pair<int, RawFrame>> frames_;
    uint64_t step_slices_ = 0;
    double step_pulses_ = 0;
    uint64_t last_t_us_ = 0;
    void (*progress_)(void *) = nullptr;
    void *progress_user_ = nullptr;
};

} // namespace korva3_tool

#endif
