// grbl_session.h - a sender's session with the machine as a grbl 1.1 board would hold
// it: the welcome line, every line answered "ok" or "error:N" in order, real-time bytes
// taken at any moment, '$' commands, G-code through the controller's streamed lines.
//
//   transport thread: received(bytes) -> real-time bytes answered at once ('?' from
//                     the controller's snapshot, never waiting for motion)
//                                      -> lines queued (grbl's receive buffer)
//   line thread:      one line at a time, in order: '$' commands, or G-code handed to
//                     the controller (LineFeed) and answered once it is in the planner
//   the controller's thread (the caller's): runs what the lines start
//
// One sender at a time. When it goes, the machine stops (a controlled stop, spindle and
// coolant off) and its waiting lines are dropped.
#ifndef KORVA3_GRBL_SESSION_H
#define KORVA3_GRBL_SESSION_H

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "control/controller.h"
#include "control/line_feed.h"
#include "gcode/settings.h"
#include "grbl/grbl_settings.h"
#include "grbl/line_input.h"
#include "grbl/status_report.h"

namespace korva3_grbl {

constexpr const char *kWelcome = "Grbl 1.1h ['$' for help]";
// grbl's serial receive buffer: what a character-counting sender keeps in flight.
constexpr std::size_t kRxBufferBytes = 128;
// Lines waiting beyond it are still taken (a TCP sender loses nothing, unlike a serial
// port); past this many bytes the transport stops reading until there is room.
constexpr std::size_t kRxHoldBytes = 64 * 1024;

class GrblSession {
public:
    using Write = std::function<void(const std::string &)>;

    GrblSession(korva3_control::Controller &controller, korva3_control::LineFeed &feed,
                const korva3_gcode::Settings &machine);
    ~GrblSession();
    GrblSession(const GrblSession &) = delete;
    GrblSession &operator=(const GrblSession &) = delete;

    // A sender is connected; `write` sends to it. The welcome line goes out.
    void connect(Write write);
    // Bytes from the sender (the transport's thread).
    void received(const char *bytes, std::size_t n);
    // The sender has gone: the machine stops, waiting lines are dropped.
    void disconnect();
    // The server ends: the line thread ends.
    void close();

private:
    struct Line {
        std::string text;
        bool overflow = false;
        uint64_t generation = 0;
    };

    void realtime(unsigned char byte);
    void soft_reset();
    void hold();
    void resume();
    void feed_override(int percent);
    void send(const std::string &text);                      // any thread, at once
    void answer(uint64_t generation, const std::string &text); // dropped after a reset
    std::string status();
    void drop_lines(); // the receive buffer flushed, the line in hand cancelled

    void line_thread();
    std::string execute(const Line &line);
    std::string gcode(const std::string &text, uint64_t generation);
    std::string system(const std::string &text, uint64_t generation); // system_commands.cpp
    std::string jog(const std::string &words, uint64_t generation);
    std::string home(uint64_t generation);
    std::string parser_state() const;
    std::string parameters() const;
    bool at_rest() const; // Idle or Alarm, as grbl's settings commands need
    // Waits while the controller only waits for more streamed lines (nothing moves): a
    // grbl board is Idle once its planner is empty.
    korva3_control::Snapshot settled() const;
    bool current(uint64_t generation) const { return generation == generation_.load(); }

    korva3_control::Controller &controller_;
    korva3_control::LineFeed &feed_;
    GrblSettings settings_;
    LineInput input_; // the transport's thread only

    std::mutex lines_mutex_;
    std::condition_variable lines_cv_;
    std::deque<Line> lines_;
    std::size_t rx_used_ = 0;
    bool closing_ = false;

    std::mutex write_mutex_;
    Write write_;
    std::atomic<uint64_t> generation_{1}; // grows at each soft reset and disconnect

    std::mutex report_mutex_;
    StatusReporter reporter_;

    std::atomic<bool> alarm_{false}, check_{false}, sleep_{false}, idle_hold_{false};
    std::atomic<bool> line_is_jog_{false}, jog_cancelled_{false};
    std::atomic<int> feed_override_{100}, rapid_override_{100};
    std::map<int, std::string> startup_lines_; // $N0, $N1 (line thread only)
    std::array<double, 3> jog_end_mm_{};       // the last jog's target (line thread only)
    std::string build_info_;

    std::thread thread_;
};

} // namespace korva3_grbl

#endif
