// head_gate.h - where a new connection waits until its request's line and headers have
// arrived, on one thread for all of them, so that a slow or silent client holds no
// thread that a request could be served on. A head that is whole, and within
// kMaxHeadBytes and kMaxHeaderLines, goes on to `ready` with the bytes read so far; a
// head that is too large is answered 431, one not whole by the deadline 408, and closed.
#ifndef KORVA_SIM_PANEL_HEAD_GATE_H
#define KORVA_SIM_PANEL_HEAD_GATE_H

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korva::sim::panel {

class HeadGate {
public:
    using Clock = std::chrono::steady_clock;
    // Takes over fd: serves it, or answers and closes it. `opened`: when it connected.
    using Ready = std::function<void(int fd, std::string head, Clock::time_point opened)>;

    explicit HeadGate(Ready ready);
    ~HeadGate();
    bool start(); // false when the thread's wake-up pipe cannot be made
    // Takes over an accepted connection (closed at once after stop()).
    void add(int fd);
    // Closes every waiting connection and ends the thread; bounded.
    void stop();
    // Answers with an empty response ("503 Service Unavailable") and closes fd.
    static void refuse(int fd, const char* status_line);

private:
    struct Waiting {
        int fd;
        Clock::time_point opened;
        std::string head; // read so far
    };
    enum class Verdict { Wait, Whole, TooLarge, Gone };

    void run();
    static Verdict read_more(Waiting& w);
    void wake();

    Ready ready_;
    int wake_[2] = {-1, -1}; // a pipe: the thread polls its read end
    std::thread thread_;
    std::mutex mutex_; // guards the two below
    std::vector<int> added_;
    bool stopping_ = false;
};

} // namespace korva::sim::panel

#endif
