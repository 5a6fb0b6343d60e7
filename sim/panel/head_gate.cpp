// head_gate.cpp - new connections wait here, all on one thread, until their request is
// whole.
#include "head_gate.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "limits.h"
#include "request_head.h"
#include "quiet_thread.h"

namespace korva::sim::panel {

namespace {

// Keeps the elements for which keep(element) is true, in their order.
template <typename T, typename Keep>
void keep_if(std::vector<T>& v, Keep keep)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!keep(v[i]))
            continue;
        if (kept != i)
            v[kept] = std::move(v[i]);
        ++kept;
    }
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(kept), v.end());
}

} // namespace

HeadGate::HeadGate(Ready ready) : ready_(std::move(ready)) {}

HeadGate::~HeadGate()
{
    stop();
    for (int& fd : wake_)
        if (fd >= 0)
            close(std::exchange(fd, -1));
}

bool HeadGate::start()
{
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    thread_ = start_quiet_thread([this] { run(); });
    return true;
}

void HeadGate::add(int fd)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopping_) {
            added_.push_back(fd);
            fd = -1;
        }
    }
    if (fd >= 0)
        close(fd);
    else
        wake();
}

void HeadGate::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable())
        thread_.join();
}

void HeadGate::wake()
{
    const char one = 1;
    ssize_t ignored = ::write(wake_[1], &one, 1); // a full pipe is awake already
    (void)ignored;
}

void HeadGate::refuse(int fd, const char* status_line)
{
    std::string reply = std::string("HTTP/1.1 ") + status_line +
                        "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    ssize_t ignored = send(fd, reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)ignored;
    shutdown(fd, SHUT_WR);
    close(fd);
}

// Reads what has arrived, without blocking, and judges the head once it is whole.
HeadGate::Verdict HeadGate::read_more(Waiting& w)
{
    char buf[4096];
    for (;;) {
        // Up to the end of the request once its head is known, else one byte past the
        // largest head (so that a head too large is seen as such).
        const std::size_t want = w.head_size != 0 ? w.head_size + w.body : kMaxHeadBytes + 1;
        if (w.bytes.size() >= want)
            return Verdict::Whole;
        const ssize_t n = recv(w.fd, buf, std::min(want - w.bytes.size(), sizeof buf), MSG_DONTWAIT);
        if (n == 0)
            return Verdict::Gone;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Verdict::Wait
                                                                              : Verdict::Gone;
        const std::size_t from = w.bytes.size() < 3 ? 0 : w.bytes.size() - 3;
        w.bytes.append(buf, static_cast<std::size_t>(n));
        if (w.head_size != 0)
            continue;
        const auto end = w.bytes.find("\r\n\r\n", from);
        const std::size_t head_size = end == std::string::npos ? w.bytes.size() : end + 4;
        // The request line and the header lines: the line ends before the blank line.
        const std::size_t scan = end == std::string::npos ? w.bytes.size() : end + 2;
        std::size_t lines = 0;
        for (auto at = w.bytes.find("\r\n"); at != std::string::npos && at < scan;
             at = w.bytes.find("\r\n", at + 2))
            ++lines;
        if (head_size > kMaxHeadBytes || lines > kMaxHeaderLines + 1) {
            w.refusal = "431 Request Header Fields Too Large";
            return Verdict::Refused;
        }
        if (end == std::string::npos)
            continue;
        const HeadVerdict verdict = judge_head(std::string_view(w.bytes).substr(0, head_size));
        if (verdict.refusal != nullptr) {
            w.refusal = verdict.refusal;
            return Verdict::Refused;
        }
        w.head_size = head_size;
        w.body = verdict.body;
        if (w.bytes.size() > head_size + w.body) // more than the request: not read as one
            w.bytes.resize(head_size + w.body);
    }
}

bool HeadGate::settle(Waiting& w)
{
    switch (read_more(w)) {
    case Verdict::Wait:
        return false;
    case Verdict::Whole:
        ready_(w.fd, std::move(w.bytes));
        break;
    case Verdict::Refused:
        refuse(w.fd, w.refusal);
        break;
    case Verdict::Gone:
        close(w.fd);
        break;
    }
    return true;
}

// More than kMaxWaiting wait, every one of them read just now: those that sent nothing go
// first (a flood of idle connections), then those with part of a head; the
// oldest first in each.
void HeadGate::shed(std::vector<Waiting>& waiting)
{
    const std::size_t excess = waiting.size() - kMaxWaiting;
    const auto silent = static_cast<std::size_t>(std::count_if(
        waiting.begin(), waiting.end(), [](const Waiting& w) { return w.bytes.empty(); }));
    std::size_t drop_silent = std::min(excess, silent), drop_talking = excess - drop_silent;
    keep_if(waiting, [&](const Waiting& w) {
        std::size_t& drop = w.bytes.empty() ? drop_silent : drop_talking;
        if (drop == 0)
            return true;
        --drop;
        if (w.bytes.empty())
            close(w.fd);
        else
            refuse(w.fd, "503 Service Unavailable");
        return false;
    });
}

void HeadGate::run()
{
    std::vector<Waiting> waiting; // oldest first
    std::vector<int> added;
    std::vector<pollfd> polled;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            added.swap(added_);
        }
        // A new connection is read at once: a request already sent goes on before any
        // connection is let go for load.
        const auto now = Clock::now();
        for (int fd : added) {
            Waiting w{fd, now, {}};
            if (!settle(w))
                waiting.push_back(std::move(w));
        }
        added.clear();
        if (waiting.size() > kMaxWaiting) { // read what each has sent since, then shed
            keep_if(waiting, [&](Waiting& w) { return !settle(w); });
            if (waiting.size() > kMaxWaiting)
                shed(waiting);
        }
        // Past their deadline: 408 to those that sent something, and closed.
        auto next = now + kRequestDeadline;
        keep_if(waiting, [&](const Waiting& w) {
            const auto due = w.opened + kRequestDeadline;
            if (due > now) {
                next = std::min(next, due);
                return true;
            }
            if (w.bytes.empty())
                close(w.fd);
            else
                refuse(w.fd, "408 Request Timeout");
            return false;
        });
        polled.assign(1, pollfd{wake_[0], POLLIN, 0});
        for (const Waiting& w : waiting)
            polled.push_back(pollfd{w.fd, POLLIN, 0});
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
        if (poll(polled.data(), polled.size(), static_cast<int>(wait.count()) + 1) < 0 &&
            errno != EINTR)
            break;
        if (polled[0].revents != 0) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        // polled[i + 1] is waiting[i], visited in order.
        std::size_t i = 0;
        keep_if(waiting, [&](Waiting& w) { return polled[++i].revents == 0 || !settle(w); });
    }
    for (const Waiting& w : waiting)
        close(w.fd);
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : added_)
        close(fd);
    added_.clear();
}

} // namespace korva::sim::panel
