// pty_transport.cpp - the grbl session on a pseudo-terminal: a sender opens the symlink
// as a serial port. The sender is there while the slave is open (the master sees no
// hang-up); when it closes it, the machine stops as for a TCP sender that goes.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "grbl/transport.h"

namespace korva3_grbl {

namespace {

constexpr int kPollMs = 50; // how often the slave's side is looked at, ms

void write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

PtyTransport::~PtyTransport()
{
    stop();
    if (master_ >= 0)
        ::close(master_);
    remove_traces();
}

void PtyTransport::remove_traces()
{
    // Only our own symlink: one another server made since is left alone.
    char to[4096];
    const ssize_t n = ::readlink(link_.c_str(), to, sizeof to - 1);
    if (n > 0 && !slave_.empty() && std::string(to, static_cast<std::size_t>(n)) == slave_)
        ::unlink(link_.c_str());
}

bool PtyTransport::start(GrblSession &session, std::string &error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slave_ = ::ptsname(master_);
    // Raw from the start: no echo of what the server writes, no line editing.
    const int s = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        termios t{};
        if (::tcgetattr(s, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(s, TCSANOW, &t);
        }
        ::close(s);
    }
    struct stat st {};
    if (::lstat(link_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link_ + " exists and is not a symlink: not replaced";
            return false;
        }
        ::unlink(link_.c_str());
    }
    if (::symlink(slave_.c_str(), link_.c_str()) != 0) {
        error = "cannot make the symlink " + link_ + ": " + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this, &session] { run(session); });
    return true;
}

void PtyTransport::run(GrblSession &session)
{
    bool open = false;
    char buffer[4096];
    while (!stopping_) {
        pollfd p{master_, POLLIN, 0};
        const int n = ::poll(&p, 1, kPollMs);
        const bool hung_up = n > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN);
        if (hung_up || n < 0) {
            if (open) {
                open = false;
                session.disconnect(); // the machine stops
            }
            ::usleep(kPollMs * 1000);
            continue;
        }
        if (!open) { // the sender has opened the port
            open = true;
            const int fd = master_;
            session.connect([fd](const std::string &text) { write_all(fd, text); });
        }
        if (n > 0 && (p.revents & POLLIN)) {
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got > 0)
                session.received(buffer, static_cast<std::size_t>(got));
        }
    }
    if (open)
        session.disconnect();
}

} // namespace korva3_grbl
