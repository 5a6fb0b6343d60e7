// line_feed.h - G-code lines handed to the controller one at a time by a sender that
// streams them (the grbl server): each line is checked and read into the planner as it
// arrives, the planner looking ahead over what has arrived; a line in error is answered
// with the reason and not run. The sender's thread waits for each line's answer (given
// once the line is in the planner's window, so a full window paces the sender).
//
//   sender thread: run(line) --slot--> the controller's thread: take(), read, answer()
#ifndef KORVA3_CONTROL_LINE_FEED_H
#define KORVA3_CONTROL_LINE_FEED_H

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "control/requests.h"

namespace korva3_control {

struct StreamedLine {
    enum class Kind {
        Gcode, // a line of G-code, run with the session's modal state
        Check, // a line of G-code read and checked only: nothing moves
        Jog    // a straight move to `target_mm` at `feed_mm_min`; the modal state stays
    };
    uint64_t id = 0;
    Kind kind = Kind::Gcode;
    std::string text;
    std::array<double, 3> target_mm{}; // Jog: machine mm
    double feed_mm_min = 0;            // Jog
};

class LineFeed {
public:
    // The sender's thread: hands one line and waits for its answer. Refused at once when
    // the feed is closed; cancel() ends the wait with a refusal.
    Reply run(StreamedLine line);
    // Any thread: a line waiting (not yet taken) is refused; a taken one is still
    // answered by the controller, but nobody waits for it any more.
    void cancel(const std::string &why);
    // Refuses every later line (the server is going away).
    void close(const std::string &why);

    // The controller's thread: the waiting line, if any.
    bool take(StreamedLine &line);
    // Whether a line waits (not yet taken).
    bool waiting() const;
    void answer(uint64_t id, const Reply &reply);

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    StreamedLine line_;
    bool has_line_ = false;  // a line waits in the slot
    bool taken_ = false;     // the controller has it
    bool answered_ = false;
    Reply reply_;
    uint64_t next_id_ = 1;
    bool closed_ = false;
    std::string closed_why_;
};

} // namespace korva3_control

#endif
