/*
 * panel_limits_test.cpp - what one client may cost the panel, over real loopback sockets:
 * heads, bodies and ranges are bounded and refused before they are read on; open pages,
 * slow and silent clients never keep the emergency stop from getting through.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "raw_client.h"

namespace {

using namespace std::chrono_literals;

class PanelLimits : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GT(KSIM_PANEL_START(0), 0);
        panel_ = panel_address();
        ASSERT_GT(panel_.port, 0);
    }
    void TearDown() override { KSIM_PANEL_STOP(); }

    // A request line and the headers every request of the page carries.
    std::string head(const std::string& method, const std::string& target) const
    {
        const char sep = target.find('?') == std::string::npos ? '?' : '&';
        return method + " " + target + sep + "token=" + panel_.token + " HTTP/1.1\r\nHost: " +
               panel_.host() + "\r\n";
    }

    PanelAddress panel_;
};

std::string repeated(const std::string& piece, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += piece;
    return s;
}

TEST_F(PanelLimits, OversizedRequestsAreRefusedBeforeTheyAreReadOn)
{
    const std::string estop = "/command?card=0&do=estop";
    std::string many_ranges = "bytes=0-0";
    for (int i = 1; i < 2000; ++i)
        many_ranges += ",0-0";
    struct Case {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"a browser's request, well within the limits", head("GET", "/") + "\r\n", 200},
        {"60 header lines", head("GET", "/") + repeated("X-Line: 1\r\n", 58) + "\r\n", 200},
        {"100 header lines", head("GET", "/") + repeated("X-Line: 1\r\n", 100) + "\r\n", 431},
        {"a header line that never ends",
         head("GET", "/") + "X-Long: " + std::string(64 * 1024, 'a'), 431},
        {"a head that never ends", head("GET", "/") + repeated("X-Line: 1\r\n", 4000), 431},
        {"2000 ranges of the page", head("GET", "/") + "Range: " + many_ranges + "\r\n\r\n", 416},
        {"a 300 MB body, not sent",
         head("POST", estop) + "Content-Length: 300000000\r\n\r\n", 413},
        {"a chunked body, not sent", head("POST", estop) + "Transfer-Encoding: chunked\r\n\r\n",
         411},
        {"a multipart form, not sent",
         head("POST", estop) + "Content-Type: multipart/form-data; boundary=" +
             std::string(4000, 'b') + "\r\nContent-Length: 900\r\n\r\n",
         415},
        {"two lengths", head("POST", estop) + "Content-Length: 0\r\nContent-Length: 0\r\n\r\n",
         413},
        {"a 300 MB body without the token (refused before the token is looked at)",
         "POST /command HTTP/1.1\r\nHost: " + panel_.host() +
             "\r\nContent-Length: 300000000\r\n\r\n",
         413},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawClient client(panel_.port);
        ASSERT_TRUE(client.connected());
        client.send_text(c.request);
        EXPECT_EQ(client.status(), c.status);
        EXPECT_LT(client.rest().size(), 64u * 1024); // one page at most, never 2000
    }
}

// A request's body is what its Content-Length says, read whole before it is served;
// without one it has none (curl -X POST sends none) and is served at once, whatever
// follows its head. Wall clock: the deadline (3 s) must not be waited for.
TEST_F(PanelLimits, RequestBodiesAreWhatTheirLengthSays)
{
    const std::string estop = head("POST", "/command?card=0&do=estop");
    struct Case {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"no Content-Length, nothing after the head", estop + "\r\n", 204},
        {"no Content-Length, bytes after the head", estop + "\r\nstray bytes", 204},
        {"a body of its length", estop + "Content-Length: 5\r\n\r\nabcde", 204},
        {"a body of its length, more after it", estop + "Content-Length: 2\r\n\r\nabcde", 204},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawClient release(panel_.port);
        release.send_text(head("POST", "/command?card=0&do=release") + "Content-Length: 0\r\n\r\n");
        ASSERT_EQ(release.status(), 204);
        ASSERT_EQ(KSIM_PANEL_ESTOP(0), 0u);
        const auto start = std::chrono::steady_clock::now();
        RawClient client(panel_.port);
        client.send_text(c.request);
        EXPECT_EQ(client.status(), c.status);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_EQ(KSIM_PANEL_ESTOP(0), 1u);
    }
}

// The emergency stop gets through while every page the panel serves is open and many
// clients sit in the middle of their headers (no token needed for that).
TEST_F(PanelLimits, EmergencyStopGetsThroughOpenPagesAndSlowClients)
{
    std::vector<std::unique_ptr<RawClient>> pages, slow;
    for (int i = 0; i < 8; ++i) {
        pages.push_back(std::make_unique<RawClient>(panel_.port));
        pages.back()->send_text(head("GET", "/events") + "Accept: text/event-stream\r\n\r\n");
        ASSERT_EQ(pages.back()->status(), 200) << "page " << i;
    }
    for (int i = 0; i < 40; ++i) {
        slow.push_back(std::make_unique<RawClient>(panel_.port));
        slow.back()->send_text("GET / HTTP/1.1\r\nHo");
    }
    RawClient ninth(panel_.port);
    ninth.send_text(head("GET", "/events") + "\r\n");
    EXPECT_EQ(ninth.status(), 503); // a page too many: told so, at once

    const auto start = std::chrono::steady_clock::now();
    RawClient stop(panel_.port, 2s);
    stop.send_text(head("POST", "/command?card=0&do=estop") + "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(stop.status(), 204);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s); // wall clock is the point here
}

// Beyond 128 connections waiting for their request, those that sent nothing are let go
// first, oldest first: one that sent part of its head stays, and so does the emergency
// stop sent after 300 silent ones. (Wall clock: a closed connection reads its end at once.)
TEST_F(PanelLimits, BeyondTheWaitingLimitTheSilentGoFirst)
{
    RawClient talking(panel_.port);
    talking.send_text("GET / HTTP/1.1\r\nHo");
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 300; ++i)
        silent.push_back(std::make_unique<RawClient>(panel_.port, 2s));
    RawClient stop(panel_.port, 2s);
    stop.send_text(head("POST", "/command?card=0&do=estop") + "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(stop.status(), 204);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.front()->status(), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the oldest silent one is closed";
    talking.send_text("st: " + panel_.host() + "\r\n\r\n");
    EXPECT_EQ(talking.status(), 403); // served: it had no token
}

// A client that never finishes its headers is answered 408 and let go, by the deadline
// (3 s; wall-clock behaviour is the feature: generous bounds).
TEST_F(PanelLimits, HeadNotWholeByTheDeadlineIsTimedOut)
{
    RawClient client(panel_.port, 10s);
    const auto start = std::chrono::steady_clock::now();
    client.send_text("GET / HTTP/1.1\r\nHo");
    EXPECT_EQ(client.status(), 408);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 2s);
    EXPECT_LT(took, 8s);
}

} // namespace
