// head_gate.cpp - new connections wait here, all on one thread, until their head is
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
#include "quiet_thread.h"

namespace korva::sim::panel {

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

// Reads what has arrived, without blocking, and judges the head.
HeadGate::Verdict HeadGate::read_more(Waiting& w)
{
    char buf[4096];
    for (;;) {
        const std::size_t room = kMaxHeadBytes + 1 - w.head.size(); // one more: too large
        const ssize_t n = recv(w.fd, buf, std::min(room, sizeof buf), MSG_DONTWAIT);
        if (n == 0)
            return Verdict::Gone;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Verdict::Wait
                                                                              : Verdict::Gone;
        const std::size_t from = w.head.size() < 3 ? 0 : w.head.size() - 3;
        w.head.append(buf, static_cast<std::size_t>(n));
        const auto end = w.head.find("\r\n\r\n", from);
        const std::size_t head_size = end == std::string::npos ? w.head.size() : end + 4;
        if (head_size > kMaxHeadBytes)
            return Verdict::TooLarge;
        // The request line and the header lines: the line ends before the blank line.
        const std::size_t scan = end == std::string::npos ? w.head.size() : end + 2;
        std::size_t lines = 0;
        for (auto at = w.head.find("\r\n"); at != std::string::npos && at < scan;
             at = w.head.find("\r\n", at + 2))
            ++lines;
        if (lines > kMaxHeaderLines + 1)
            return Verdict::TooLarge;
        if (end != std::string::npos)
            return Verdict::Whole;
    }
}

void HeadGate::run()
{
    std::deque<Waiting> waiting; // oldest first
    std::vector<pollfd> polled;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            const auto now = Clock::now();
            for (int fd : added_)
                waiting.push_back(Waiting{fd, now, {}});
            added_.clear();
        }
        while (waiting.size() > kMaxWaiting) { // a flood of idle connections: the oldest go
            close(waiting.front().fd);
            waiting.pop_front();
        }
        // Past their deadline: 408 to those that sent something, and closed.
        const auto now = Clock::now();
        auto next = now + kRequestDeadline;
        for (auto it = waiting.begin(); it != waiting.end();) {
            const auto due = it->opened + kRequestDeadline;
            if (due <= now) {
                if (it->head.empty())
                    close(it->fd);
                else
                    refuse(it->fd, "408 Request Timeout");
                it = waiting.erase(it);
            } else {
                next = std::min(next, due);
                ++it;
            }
        }
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
        // polled[i + 1] is waiting[i]: go backwards so that erasing keeps the pairing.
        for (std::size_t i = waiting.size(); i-- > 0;) {
            if (polled[i + 1].revents == 0)
                continue;
            Waiting& w = waiting[i];
            switch (read_more(w)) {
            case Verdict::Wait:
                continue;
            case Verdict::Whole:
                ready_(w.fd, std::move(w.head), w.opened);
                break;
            case Verdict::TooLarge:
                refuse(w.fd, "431 Request Header Fields Too Large");
                break;
            case Verdict::Gone:
                close(w.fd);
                break;
            }
            waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (const Waiting& w : waiting)
        close(w.fd);
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : added_)
        close(fd);
    added_.clear();
}

} // namespace korva::sim::panel
