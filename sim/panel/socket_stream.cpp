// socket_stream.cpp - a connection as cpp-httplib's Stream: the request given, then its end.
#include "socket_stream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "limits.h"

namespace korva::sim::panel {

namespace {

void address_of(int fd, bool remote, std::string& ip, int& port)
{
    sockaddr_in a{};
    socklen_t n = sizeof a;
    const int r = remote ? getpeername(fd, reinterpret_cast<sockaddr*>(&a), &n)
                         : getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    char text[INET_ADDRSTRLEN] = "";
    if (r == 0 && a.sin_family == AF_INET)
        inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    ip = text;
    port = r == 0 ? ntohs(a.sin_port) : 0;
}

} // namespace

SocketStream::SocketStream(int fd, std::string request) : fd_(fd), request_(std::move(request)) {}

bool SocketStream::wait_for(short events, Clock::time_point until) const
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() < 0)
            return false;
        pollfd p{fd_, events, 0};
        const int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0)
            return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

bool SocketStream::is_readable() const { return true; } // a read never waits

bool SocketStream::is_writable() const
{
    return wait_for(POLLOUT, Clock::now() + kWriteTimeout);
}

// The request's bytes, then 0 (its end: a body read to the end is the body the gate read).
ssize_t SocketStream::read(char* ptr, size_t size)
{
    const std::size_t n = std::min(size, request_.size() - taken_);
    std::memcpy(ptr, request_.data() + taken_, n);
    taken_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t SocketStream::write(const char* ptr, size_t size)
{
    const auto until = Clock::now() + kWriteTimeout;
    while (wait_for(POLLOUT, until)) {
        const ssize_t n = send(fd_, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return n;
    }
    return -1;
}

void SocketStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    address_of(fd_, true, ip, port);
}

void SocketStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    address_of(fd_, false, ip, port);
}

} // namespace korva::sim::panel
