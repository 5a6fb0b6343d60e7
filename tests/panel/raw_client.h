/*
 * raw_client.h - a client of the panel that talks HTTP by hand over a loopback socket, so
 * that a test can send what a browser never would: a head that never ends, thousands of
 * header lines, a body it does not send.
 */
#ifndef KORVA_TESTS_PANEL_RAW_CLIENT_H
#define KORVA_TESTS_PANEL_RAW_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "korva3_sim.h"

// The running panel's port and token, from its address.
struct PanelAddress {
    int port = 0;
    std::string token;
    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
};

inline PanelAddress panel_address()
{
    char url[160] = "";
    KSIM_PANEL_URL(url, sizeof url);
    const std::string text = url;
    const auto colon = text.rfind(':'), at = text.find("/?token=");
    PanelAddress a;
    if (colon != std::string::npos && at != std::string::npos) {
        a.port = std::atoi(text.c_str() + colon + 1);
        a.token = text.substr(at + 8);
    }
    return a;
}

class RawClient {
public:
    // Connects to 127.0.0.1:port; every read gives up after `patience`.
    explicit RawClient(int port, std::chrono::milliseconds patience = std::chrono::seconds(5))
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{static_cast<time_t>(patience.count() / 1000),
                   static_cast<suseconds_t>(patience.count() % 1000 * 1000)};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }

    bool send_text(const std::string& text)
    {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads until the response's head is in; its status, or -1 (closed, or no answer).
    int status()
    {
        while (received_.find("\r\n\r\n") == std::string::npos)
            if (!read_some())
                break;
        if (received_.rfind("HTTP/1.1 ", 0) != 0 || received_.size() < 12)
            return -1;
        return std::atoi(received_.c_str() + 9);
    }

    // Reads until the server closes (or `max` bytes, or no answer); all bytes so far.
    const std::string& rest(std::size_t max = 1 << 20)
    {
        while (received_.size() < max && read_some()) {
        }
        return received_;
    }

private:
    bool read_some()
    {
        char buf[4096];
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        received_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    std::string received_;
};

#endif
