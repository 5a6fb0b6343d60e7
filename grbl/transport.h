// transport.h - where a sender reaches the grbl session: a TCP port (127.0.0.1 by
// default) or a pseudo-terminal whose slave a symlink names (for senders that open
// serial ports). Each runs on a thread of its own until stop(); one sender at a time
// (a second TCP connection is told so and closed).
#ifndef KORVA3_GRBL_TRANSPORT_H
#define KORVA3_GRBL_TRANSPORT_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "grbl/grbl_session.h"

namespace korva3_grbl {

class Transport {
public:
    virtual ~Transport();
    // Starts serving `session` on a thread of its own; false with the reason.
    virtual bool start(GrblSession &session, std::string &error) = 0;
    // Ends it (the sender, if any, is disconnected first).
    void stop();
    // Where senders connect ("tcp:127.0.0.1:PORT", "pty:PATH -> /dev/pts/N").
    virtual std::string where() const = 0;
    // Removes what it left in the file system (the pseudo-terminal's symlink), from any
    // thread, also while it serves: what a process that ends at once still does.
    virtual void remove_traces() {}

protected:
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class TcpTransport : public Transport {
public:
    TcpTransport(const std::string &host, uint16_t port) : host_(host), port_(port) {}
    ~TcpTransport() override;
    bool start(GrblSession &session, std::string &error) override;
    std::string where() const override;

private:
    void run(GrblSession &session);
    std::string host_;
    uint16_t port_;
    int listener_ = -1;
};

class PtyTransport : public Transport {
public:
    explicit PtyTransport(const std::string &link) : link_(link) {}
    ~PtyTransport() override;
    bool start(GrblSession &session, std::string &error) override;
    std::string where() const override { return "pty:" + link_ + " -> " + slave_; }
    void remove_traces() override;

private:
    void run(GrblSession &session);
    std::string link_, slave_;
    int master_ = -1;
};

} // namespace korva3_grbl

#endif
