/*
 * panel_lifecycle_test.cpp - the panel's start and stop: race-free and bounded whatever
 * its clients do, on a port of its own, stopped before the process's objects go at exit,
 * and its threads leave Ctrl-C and SIGTERM to the program.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;

TEST(PanelLifecycle, StopAtOnceAfterStartEnds)
{
    auto runs = std::async(std::launch::async, [] {
        for (int i = 0; i < 50; ++i) {
            if (KSIM_PANEL_START(0) <= 0)
                return false;
            KSIM_PANEL_STOP();
        }
        return true;
    });
    if (runs.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "KSIM_PANEL_STOP hangs after KSIM_PANEL_START";
        std::fflush(nullptr);
        std::_Exit(1); // the stuck thread cannot be joined
    }
    EXPECT_TRUE(runs.get());
}

// A client in the middle of its headers and one in the middle of its body: the stop does
// not wait for them (wall clock is the point: generous bounds).
TEST(PanelLifecycle, StopDoesNotWaitForSlowClients)
{
    ASSERT_GT(KSIM_PANEL_START(0), 0);
    const PanelAddress panel = panel_address();
    RawClient in_head(panel.port), in_body(panel.port);
    in_head.send_text("GET / HTTP/1.1\r\nHo");
    in_body.send_text("POST /command?card=0&do=estop&token=" + panel.token +
                      " HTTP/1.1\r\nHost: " + panel.host() + "\r\nContent-Length: 10\r\n\r\nx");
    std::this_thread::sleep_for(100ms); // both are being read
    const auto start = std::chrono::steady_clock::now();
    KSIM_PANEL_STOP();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// A socket as another process would open it to share the port.
int sharing_socket()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    return fd;
}

bool listen_on(int fd, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd, 4) == 0;
}

TEST(PanelLifecycle, NobodyListensBesideThePanel)
{
    // The panel first: nobody else gets its port.
    const int port = KSIM_PANEL_START(0);
    ASSERT_GT(port, 0);
    int other = sharing_socket();
    EXPECT_FALSE(listen_on(other, port));
    close(other);
    KSIM_PANEL_STOP();
    // Someone else first: the panel says the port is in use.
    other = sharing_socket();
    ASSERT_TRUE(listen_on(other, port));
    EXPECT_EQ(KSIM_PANEL_START(static_cast<uint32_t>(port)), -1);
    KSIM_PANEL_STOP();
    close(other);
    EXPECT_EQ(KSIM_PANEL_START(static_cast<uint32_t>(port)), port); // free again
    KSIM_PANEL_STOP();
}

// Runs at exit after the panel's own hook (registered later): the panel must be stopped.
void check_stopped_at_exit()
{
    char url[8] = "x";
    std::_Exit(KSIM_PANEL_URL(url, sizeof url) == 0 ? 0 : 3);
}

TEST(PanelLifecycle, StoppedBeforeTheProcessExits)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(check_stopped_at_exit); // before the panel's: runs after it
            if (KSIM_PANEL_START(0) <= 0)
                std::_Exit(2);
            RawClient page(panel_address().port);
            page.send_text("GET /events?token=" + panel_address().token + " HTTP/1.1\r\nHost: " +
                           panel_address().host() + "\r\n\r\n");
            page.status(); // a request in flight
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// The threads of this process, by id.
std::set<std::string> threads()
{
    std::set<std::string> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ids.insert(e->d_name);
        closedir(d);
    }
    return ids;
}

// Whether thread `id` blocks SIGINT and SIGTERM (SigBlk in /proc: bit n-1 for signal n).
bool blocks_ctrl_c(const std::string& id)
{
    std::ifstream status("/proc/self/task/" + id + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            const unsigned long long both = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
            return (mask & both) == both;
        }
    return true; // the thread has ended meanwhile
}

TEST(PanelLifecycle, TheLibrarysThreadsLeaveCtrlCToTheProgram)
{
    const std::set<std::string> before = threads();
    KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 0); // the wall-clock ticker
    ASSERT_GT(KSIM_PANEL_START(0), 0);  // the panel's
    const PanelAddress panel = panel_address();
    RawClient page(panel.port); // one request in flight on a thread of its own
    page.send_text("GET /events?token=" + panel.token + " HTTP/1.1\r\nHost: " + panel.host() +
                   "\r\n\r\n");
    ASSERT_EQ(page.status(), 200);
    std::size_t started = 0;
    for (const std::string& id : threads())
        if (before.count(id) == 0) {
            ++started;
            EXPECT_TRUE(blocks_ctrl_c(id)) << "thread " << id;
        }
    EXPECT_GE(started, 3u);
    KSIM_PANEL_STOP();
    KSIM_SET_CLOCK(KSIM_CLOCK_VIRTUAL, 0);
}

} // namespace
