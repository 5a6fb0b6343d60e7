// tcp_transport.cpp - the grbl session on a TCP port: one sender at a time.
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "grbl/transport.h"

namespace korva3_grbl {

namespace {

// How often the threads look at stop(), ms.
constexpr int kPollMs = 100;

void write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the sender has gone: its reading side sees it
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

Transport::~Transport() = default;

void Transport::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
}

TcpTransport::~TcpTransport()
{
    stop();
    if (listener_ >= 0)
        ::close(listener_);
}

bool TcpTransport::start(GrblSession &session, std::string &error)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    if (::inet_pton(AF_INET, host_.c_str(), &a.sin_addr) != 1) {
        error = "not an IPv4 address: " + host_;
        return false;
    }
    if ((ntohl(a.sin_addr.s_addr) >> 24) != 127) { // nothing from another host
        error = "not a loopback address (127.x.x.x): " + host_;
        return false;
    }
    if (::bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(listener_, 4) != 0) {
        error = "cannot listen on " + host_ + ":" + std::to_string(port_) + ": " +
                std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port); // port 0: the one the system gave
    thread_ = std::thread([this, &session] { run(session); });
    return true;
}

std::string TcpTransport::where() const { return "tcp:" + host_ + ":" + std::to_string(port_); }

void TcpTransport::run(GrblSession &session)
{
    int client = -1;
    char buffer[4096];
    while (!stopping_) {
        pollfd p[2] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}};
        if (::poll(p, client >= 0 ? 2 : 1, kPollMs) <= 0)
            continue;
        // The sender's bytes (or its end) first: a sender that reconnects is let in.
        if (client >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n > 0) {
                session.received(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                session.disconnect(); // the machine stops
                ::close(client);
                client = -1;
            }
        }
        if (p[0].revents & POLLIN) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c >= 0 && client >= 0) { // one sender at a time
                write_all(c, "[MSG:another sender is connected]\r\n");
                ::close(c);
            } else if (c >= 0) {
                client = c;
                const int yes = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                session.connect([client](const std::string &text) { write_all(client, text); });
            }
        }
    }
    if (client >= 0) {
        session.disconnect();
        ::close(client);
    }
}

} // namespace korva3_grbl
