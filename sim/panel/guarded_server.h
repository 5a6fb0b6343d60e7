// guarded_server.h - cpp-httplib's server as the panel runs it: on 127.0.0.1 only and
// for this process alone (no port sharing), with the limits of limits.h. cpp-httplib
// parses, routes and answers; what it gets to read is decided here. Its accepted
// connections go to a HeadGate (no thread while a client sends its request), then each
// whole request is served on a thread of its own, at most kMaxServing at once, fewer for
// requests that matter less (set_room): an emergency stop never waits behind the pages'
// event streams, slow clients, or a flood of other requests.
#ifndef KORVA_SIM_PANEL_GUARDED_SERVER_H
#define KORVA_SIM_PANEL_GUARDED_SERVER_H

#include <httplib.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "head_gate.h"

namespace korva::sim::panel {

class GuardedServer : public httplib::Server {
public:
    GuardedServer();
    ~GuardedServer() override;

    // Binds 127.0.0.1:port (0: a free one), refused while anyone else listens there.
    // Result: the port, or -1.
    int bind_loopback(std::uint32_t port);
    // Set before start(): room(request line) is how many requests may be served at once
    // for this one to be served too, at most kMaxServing (the default for every request);
    // beyond, 503. It decides nothing else.
    using Room = std::function<std::size_t(std::string_view request_line)>;
    void set_room(Room room) { room_ = std::move(room); }
    // Starts listening (after bind_loopback). False if the gate cannot start.
    bool start();
    // Stops listening, closes every connection and ends every thread; bounded (by the
    // write time-out at most) and safe at any time after construction, even at once
    // after start().
    void stop();

private:
    using Clock = HeadGate::Clock;
    struct Serving {
        int fd;           // -1 once closed
        std::thread thread;
        bool done = false;
    };

    // cpp-httplib hands each accepted connection here, on its listening thread.
    bool process_and_close_socket(socket_t sock) override;
    void warm_up();
    // A connection whose request is whole (from the gate's thread).
    void serve(int fd, std::string request);

    HeadGate gate_;
    Room room_;
    std::thread listener_;
    std::mutex mutex_; // guards the two below
    std::list<Serving> serving_;
    bool stopping_ = false;
};

} // namespace korva::sim::panel

#endif
