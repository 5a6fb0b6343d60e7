// guarded_server.cpp - cpp-httplib's server behind the head gate, one thread a request.
#include "guarded_server.h"

#include <algorithm>

#include <sys/socket.h>
#include <unistd.h>

#include "limits.h"
#include "quiet_thread.h"
#include "socket_stream.h"

namespace korva::sim::panel {

namespace {

// cpp-httplib's pool would hold a thread for every open event stream and every client
// still sending its headers: its accepted connections are handed on at once instead.
class HandOn final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

// cpp-httplib's own choice shares the port (SO_REUSEPORT): a second process could listen
// beside this one and take its connections, token and all. SO_REUSEADDR only lets a
// stopped panel's port be taken again at once; Linux still refuses a second listener.
void exclusive(socket_t sock)
{
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace

GuardedServer::GuardedServer()
    : gate_([this](int fd, std::string request) { serve(fd, std::move(request)); })
{
    new_task_queue = [] { return new HandOn; };
    set_socket_options(exclusive);
    set_payload_max_length(kMaxBodyBytes);
}

GuardedServer::~GuardedServer() { stop(); }

int GuardedServer::bind_loopback(std::uint32_t port)
{
    const int bound = port == 0 ? bind_to_any_port("127.0.0.1")
                                : (bind_to_port("127.0.0.1", static_cast<int>(port))
                                       ? static_cast<int>(port)
                                       : -1);
    // cpp-httplib queues 5 connections not yet accepted; beyond, a new one (the emergency
    // stop's) waits a second or more for its connect to be retried. Listening again only
    // lengthens the queue (the system's limit applies).
    if (bound > 0)
        ::listen(svr_sock_, SOMAXCONN);
    return bound;
}

// cpp-httplib builds some tables the first time a request needs them (the methods it
// knows, the range parser's patterns, ...); their destructors run at exit in the reverse
// order of their making. Made here, before the panel's exit hook is registered (panel.h),
// they are still there while that hook stops the requests in flight.
void GuardedServer::warm_up()
{
    static const char* const kRequests[] = {
        "GET /?a=b%20c HTTP/1.1\r\nHost: x\r\nRange: bytes=0-1,2-3\r\n\r\n",
        "POST /x?a=b HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n"
        "Accept-Encoding: gzip, br\r\n\r\n",
    };
    for (const char* request : kRequests) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return;
        {
            SocketStream stream(pair[0], request);
            bool closed = false;
            shutdown(pair[0], SHUT_RD); // nothing more to read than the request
            process_request(stream, true, closed, [](httplib::Request&) {});
        }
        close(pair[0]);
        close(pair[1]);
    }
}

bool GuardedServer::start()
{
    warm_up();
    if (!gate_.start())
        return false;
    listener_ = start_quiet_thread([this] { listen_after_bind(); });
    return true;
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    gate_.add(sock);
    return true;
}

void GuardedServer::serve(int fd, std::string request)
{
    const std::size_t room =
        room_ ? std::min(room_(std::string_view(request).substr(0, request.find("\r\n"))),
                         kMaxServing)
              : kMaxServing;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = serving_.begin(); it != serving_.end();) { // the finished, joined
        if (it->done) {
            it->thread.join();
            it = serving_.erase(it);
        } else {
            ++it;
        }
    }
    if (stopping_) {
        close(fd);
        return;
    }
    if (serving_.size() >= room) {
        HeadGate::refuse(fd, "503 Service Unavailable");
        return;
    }
    auto it = serving_.insert(serving_.end(), Serving{fd, {}, false});
    it->thread = start_quiet_thread([this, it, fd, request = std::move(request)]() mutable {
        {
            SocketStream stream(fd, std::move(request));
            bool closed = false;
            process_request(stream, /*close_connection=*/true, closed, [](httplib::Request&) {});
        }
        std::lock_guard<std::mutex> done_lock(mutex_);
        shutdown(fd, SHUT_WR);
        close(fd);
        it->fd = -1;
        it->done = true;
    });
}

void GuardedServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    // The listening socket is shut down under the listener (which may not have begun to
    // listen yet: it then ends at once) and closed only once the listener has ended.
    const socket_t listening = svr_sock_.exchange(INVALID_SOCKET);
    if (listening != INVALID_SOCKET)
        shutdown(listening, SHUT_RDWR);
    if (listener_.joinable())
        listener_.join();
    if (listening != INVALID_SOCKET)
        close(listening);
    gate_.stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Serving& s : serving_)
            if (s.fd >= 0)
                shutdown(s.fd, SHUT_RDWR); // reads and writes there fail at once
    }
    for (Serving& s : serving_) // nothing adds to the list now: the gate has ended
        if (s.thread.joinable())
            s.thread.join();
    serving_.clear();
}

} // namespace korva::sim::panel
