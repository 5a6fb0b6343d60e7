// head_gate.h - where a new connection waits until its whole request (line, headers and
// body) has arrived, on one thread for all of them, so that a slow or silent client holds
// no thread that a request could be served on, and a request is served without reading
// from its client again. A head within kMaxHeadBytes and kMaxHeaderLines that
// judge_head() lets through, with its body, goes on to `ready`; a head that is too large
// is answered 431, one that judge_head() refuses with its status, a request not whole by
// the deadline 408, and closed.
//
// Under load (more than kMaxWaiting connections waiting) the gate reads every connection
// before it lets any go, so a request already sent is never dropped unread: it goes on.
// Of the rest, those that sent nothing yet go first, oldest first, then the oldest.
#ifndef KORVA_SIM_PANEL_HEAD_GATE_H
#define KORVA_SIM_PANEL_HEAD_GATE_H

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korva::sim::panel {

class HeadGate {
public:
    using Clock = std::chrono::steady_clock;
    // Takes over fd: serves it, or answers and closes it. `request`: its line, headers
    // and body, every byte of it (nothing more is to be read from fd).
    using Ready = std::function<void(int fd, std::string request)>;

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
        std::string bytes;          // read so far
        std::size_t head_size = 0;  // bytes of line and headers, once whole (else 0)
        std::size_t body = 0;       // bytes of body after them
        const char* refusal = nullptr;
    };
    enum class Verdict { Wait, Whole, Refused, Gone };

    void run();
    // Reads what has arrived and acts on it; true when w is done with (served, answered
    // or closed), false while it waits for more.
    bool settle(Waiting& w);
    static Verdict read_more(Waiting& w);
    static void shed(std::vector<Waiting>& waiting);
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
