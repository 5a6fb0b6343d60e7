/*
 * panel_flood_test.cpp - the emergency stop gets through while another local process
 * floods the panel: connections opened and closed without a request, requests with an
 * 8 KB Range header, POSTs with the token and no Content-Length. Every press is sent as
 * the page sends it, once, and must be answered 204 and latch: none lost, none refused.
 *
 * Wall-clock behaviour is the point: each flood runs KORVA_PANEL_FLOOD_S seconds (2.5 by
 * default; 10 for the figures in docs/panel.md) and prints what it measured: the flood's
 * rate, presses sent / executed / refused / lost, the slowest answer, and the process's
 * peak memory (VmHWM) during the flood.
 */
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds flood_duration()
{
    const char* text = std::getenv("KORVA_PANEL_FLOOD_S");
    const double s = text != nullptr ? std::atof(text) : 0.0;
    return std::chrono::milliseconds(static_cast<long>((s > 0 ? s : 2.5) * 1000));
}

// The process's peak resident memory (VmHWM), in MB; reset_peak() starts it anew.
long peak_mb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6) / 1024;
    return -1;
}

void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// One connection of a flood, to the panel at `a`.
using Hit = void (*)(const PanelAddress& a);

// Opens a connection and closes it, sending nothing.
void open_and_close(const PanelAddress& a)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(a.port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
}

void ranges(const PanelAddress& a)
{
    // One range of 8 KB of digits: std::regex matches it recursively, a digit a frame.
    static const std::string request = "bytes=" + std::string(8 * 1024, '1') + "-";
    RawClient c(a.port);
    c.send_text("GET / HTTP/1.1\r\nHost: " + a.host() + "\r\nRange: " + request + "\r\n\r\n");
    c.status();
}

void no_length(const PanelAddress& a)
{
    RawClient c(a.port);
    c.send_text("POST /command?card=0&do=input&token=" + a.token + " HTTP/1.1\r\nHost: " +
                a.host() + "\r\n\r\n");
    c.status();
}

struct Flood {
    const char* name;
    int threads;
    Hit hit;
};

void PrintTo(const Flood& f, std::ostream* os) { *os << f.name; }

const Flood kFloods[] = {
    {"connections", 6, open_and_close}, // no token, no request: 10-20 k a second
    {"ranges", 32, ranges},             // no token: 8 KB of Range each
    {"no_length", 40, no_length},       // the token, POST, no Content-Length
};

class PanelFlood : public ::testing::TestWithParam<Flood> {
protected:
    void SetUp() override
    {
        ASSERT_GT(KSIM_PANEL_START(0), 0);
        panel_ = panel_address();
    }
    void TearDown() override { KSIM_PANEL_STOP(); }

    // Sends one command as the page does; its status, or -1 (closed unanswered, or no
    // answer within 5 s).
    int command(const std::string& query) const
    {
        RawClient c(panel_.port, 5s);
        c.send_text("POST /command?" + query + "&token=" + panel_.token + " HTTP/1.1\r\nHost: " +
                    panel_.host() + "\r\nOrigin: http://" + panel_.host() +
                    "\r\nContent-Length: 0\r\n\r\n");
        return c.status();
    }

    PanelAddress panel_;
};

TEST_P(PanelFlood, EveryEmergencyStopPressedIsExecuted)
{
    const Flood& flood = GetParam();
    std::atomic<bool> flooding{true};
    std::atomic<long> hits{0};
    std::vector<std::thread> flooders;
    reset_peak();
    const auto start = Clock::now();
    for (int i = 0; i < flood.threads; ++i)
        flooders.emplace_back([&] {
            while (flooding.load(std::memory_order_relaxed)) {
                flood.hit(panel_);
                hits.fetch_add(1, std::memory_order_relaxed);
            }
        });
    int sent = 0, executed = 0, refused = 0, lost = 0;
    auto slowest = Clock::duration::zero();
    while (Clock::now() - start < flood_duration()) {
        const auto pressed = Clock::now();
        const int status = command("card=0&do=estop");
        slowest = std::max(slowest, Clock::now() - pressed);
        ++sent;
        if (status == 204 && KSIM_PANEL_ESTOP(0) == 1)
            ++executed;
        else if (status == -1)
            ++lost;
        else
            ++refused;
        EXPECT_EQ(status, 204) << "press " << sent;
        // Let go again (as often as it takes: a release is no emergency stop).
        for (int tries = 0; tries < 50 && KSIM_PANEL_ESTOP(0) == 1; ++tries)
            command("card=0&do=release");
        std::this_thread::sleep_for(100ms);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    flooding = false;
    for (std::thread& t : flooders)
        t.join();
    const long peak = peak_mb();
    std::printf("flood %s: %.0f a second for %.1f s (%d threads); emergency stops sent %d, "
                "executed %d, refused %d, lost %d; slowest answer %lld ms; VmHWM %ld MB\n",
                flood.name, static_cast<double>(hits) / seconds, seconds, flood.threads, sent,
                executed, refused, lost,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()),
                peak);
    EXPECT_GE(sent, 5);
    EXPECT_EQ(executed, sent);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(peak, 200); // the panel's threads and buffers are bounded (limits.h)
#endif
}

INSTANTIATE_TEST_SUITE_P(Floods, PanelFlood, ::testing::ValuesIn(kFloods),
                         [](const ::testing::TestParamInfo<Flood>& p) { return p.param.name; });

} // namespace
