// socket_stream.h - one accepted connection as cpp-httplib's Stream: what is read is the
// request the head gate read whole (line, headers and body), then the end of it, so no
// client holds a thread by sending slowly or not at all; every write ends at the write
// time-out.
#ifndef KORVA_SIM_PANEL_SOCKET_STREAM_H
#define KORVA_SIM_PANEL_SOCKET_STREAM_H

#include <httplib.h>

#include <chrono>
#include <string>

namespace korva::sim::panel {

class SocketStream final : public httplib::Stream {
public:
    using Clock = std::chrono::steady_clock;

    // `request`: every byte of the request (fd is never read).
    SocketStream(int fd, std::string request);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

private:
    bool wait_for(short events, Clock::time_point until) const;

    int fd_;
    std::string request_;
    std::size_t taken_ = 0; // of request_
};

} // namespace korva::sim::panel

#endif
