// socket_stream.h - one accepted connection as cpp-httplib's Stream: the bytes the head
// gate already read come first, then the socket; every read ends at the request's
// deadline and every write at the write time-out, so no client holds its thread longer.
#ifndef KORVA_SIM_PANEL_SOCKET_STREAM_H
#define KORVA_SIM_PANEL_SOCKET_STREAM_H

#include <httplib.h>

#include <chrono>
#include <string>

namespace korva::sim::panel {

class SocketStream final : public httplib::Stream {
public:
    using Clock = std::chrono::steady_clock;

    // `already` holds the bytes read from fd so far (the request's head, perhaps more).
    SocketStream(int fd, std::string already, Clock::time_point read_deadline);

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
    std::string already_;
    std::size_t taken_ = 0; // of already_
    Clock::time_point read_deadline_;
};

} // namespace korva::sim::panel

#endif
