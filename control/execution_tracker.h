// execution_tracker.h - which of the slices sent the card executes now. The card takes
// slices into its queue and runs one every slice period, back to back while its queue
// holds any: so the slice it runs is the one sent (elapsed time / period) slices after
// the one it ran at the last look, never past the last one sent, and the last one sent
// once the card stands idle. The front ends show that slice's line, feed and progress,
// not the one being sent (up to a queue's length ahead).
#ifndef KORVA3_CONTROL_EXECUTION_TRACKER_H
#define KORVA3_CONTROL_EXECUTION_TRACKER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva3_control {

struct SentSlice {
    int line = 0;          // program line
    uint64_t step = 0;     // the reader's step of that line (progress)
    float feed_mm_s = 0;   // programmed feed (rapid speed for rapids), before the override
    float speed_mm_s = 0;  // path speed at the slice's end
    bool rapid = false;
};

class ExecutionTracker {
public:
    // Slices remembered: more than any card's queue holds.
    static constexpr std::size_t kRemembered = 1 << 16;

    explicit ExecutionTracker(uint32_t slice_us) : slice_us_(slice_us ? slice_us : 1) {}

    void reset(uint32_t now_ms);              // a new run: nothing sent
    void sent(const SentSlice &s, uint32_t now_ms);
    // The card's clock is `now_ms`; `idle`: it stands with an empty queue.
    void look(uint32_t now_ms, bool idle);
    // The slice the card runs now; null before the first.
    const SentSlice *executing() const;
    uint64_t sent_count() const { return sent_; }
    // Slices sent that the card has not begun.
    uint64_t queued() const { return sent_ - begun_; }

private:
    bool running(uint32_t now_ms) const; // the card still runs slice begun_

    std::vector<SentSlice> ring_ = std::vector<SentSlice>(kRemembered);
    uint32_t slice_us_;
    uint64_t sent_ = 0;       // slices sent
    uint64_t begun_ = 0;      // slices the card has begun
    double began_us_ = 0;     // when it began slice begun_, us of the card's clock
    uint32_t base_ms_ = 0;    // the clock at reset(): times are kept from it
};

} // namespace korva3_control

#endif
