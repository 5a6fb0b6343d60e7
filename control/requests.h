// requests.h - the commands a front end gives the controller, and its answers. A front
// end on any thread asks; the controller's thread takes each request in turn and
// answers it: done (or started), or refused with the reason, in words a person reads.
#ifndef KORVA3_CONTROL_REQUESTS_H
#define KORVA3_CONTROL_REQUESTS_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace korva3_control {

struct Reply {
    bool ok = true;
    std::string text; // what was done, or why it was refused
};

enum class Ask {
    Load,       // text: the program's file; checked on a worker thread
    CycleStart, // start the loaded program from its first line (or from `line`), or
                // resume a hold
    Hold,       // feed hold
    Resume,     // after a hold or a pause
    Stop,       // a controlled stop: decelerate along the path, outputs off, end
    Reset,      // release the emergency stop
    Override,   // number: the feed override, 1..1000 %
    Mdi,        // text: one line of G-code, with the session's modal state
    Jog,        // axis 0..2; number: mm (a step), or continuous in `direction`; feed mm/min
    JogRenew,   // a continuous jog goes on for another deadline
    JogCancel,  // a jog ends, decelerating
    Home,       // axis 0..2, or -1: every axis (Z, then X, then Y)
    TouchOff,   // axis 0..2: the work offset in force set so the position reads `number`
    RunFrom,    // line: start the loaded program at this line (safe move first)
};

struct Request {
    Ask ask = Ask::CycleStart;
    std::string text;
    int axis = 0;
    double number = 0;
    double feed_mm_min = 0;   // Jog: 0 = the machine's jog feed
    bool continuous = false;  // Jog: until cancelled or no longer renewed
    int direction = 1;        // Jog continuous: +1 or -1
    int line = 0;             // RunFrom, CycleStart from a line
};

// Requests waiting for the controller's thread. Bounded: a front end that floods it is
// refused at once rather than queued for ever.
class RequestQueue {
public:
    static constexpr std::size_t kMaxWaiting = 64;

    // Waits until the controller answers, or refuses after `timeout_ms` (a controller
    // that is gone or stuck never blocks a front end for ever).
    Reply ask(const Request &request, uint32_t timeout_ms);

    // Queued without waiting for the answer (null answer: nobody waits); false when full
    // or closed.
    bool post(const Request &request);

    // The controller's side: the next request, if any (false: none waits).
    struct Pending {
        Request request;
        std::shared_ptr<struct Answer> answer;
    };
    bool take(Pending &pending);
    static void answer(const Pending &pending, const Reply &reply);

    // After shutdown every waiting and later request is refused.
    void close(const std::string &why);

private:
    std::mutex mutex_;
    std::deque<Pending> waiting_;
    bool closed_ = false;
    std::string closed_why_;
};

struct Answer {
    std::mutex mutex;
    std::condition_variable ready;
    bool given = false;
    Reply reply;
};

} // namespace korva3_control

#endif
