/*
 * panel_job_test.cpp - the running job on the panel (KSIM_PANEL_JOB*): the operator's
 * requests are recorded only for controls the job takes, checked, and start again with
 * each job; what the program publishes reaches the page's state. (The page itself, and
 * the requests' effect on a G-code run: gcode_panel_browser_test.py.)
 */
#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "../sim_fixture.h"

namespace {

class PanelJobTest : public SimTest {
protected:
    static void SetUpTestSuite()
    {
        port_ = KSIM_PANEL_START(0);
        ASSERT_GT(port_, 0);
        char url[160];
        KSIM_PANEL_URL(url, sizeof url);
        const std::string text = url;
        token_ = text.substr(text.find("?token=") + 7);
    }
    static void TearDownTestSuite() { KSIM_PANEL_STOP(); }

    static int command(const std::string& query)
    {
        httplib::Client client("127.0.0.1", port_);
        auto res = client.Post(("/command?token=" + token_ + "&" + query).c_str(), "", "text/plain");
        return res ? res->status : -1;
    }

    static int port_;
    static std::string token_;
};

int PanelJobTest::port_ = 0;
std::string PanelJobTest::token_;

constexpr uint32_t kAll = KSIM_JOB_OVERRIDE | KSIM_JOB_HOLD | KSIM_JOB_STOP;

// Each row: the controls the job takes, the page's command, its answer, then what the
// program reads (override %, request bits). Rows run in order within one job.
TEST_F(PanelJobTest, RequestsAreRecordedOnlyForControlsTheJobTakes)
{
    const struct {
        uint32_t controls; // a new job when it differs from the row before
        const char* query;
        int status;
        uint32_t percent, bits;
    } rows[] = {
        {0, "do=override&percent=150", 400, 100, 0}, // no job takes it
        {0, "do=hold", 400, 100, 0},
        {kAll, "do=override&percent=150", 204, 150, 0},
        {kAll, "do=override&percent=0", 400, 150, 0},
        {kAll, "do=override&percent=1001", 400, 150, 0},
        {kAll, "do=override&percent=abc", 400, 150, 0},
        {kAll, "do=override&percent=1000", 204, 1000, 0},
        {kAll, "do=override&percent=1", 204, 1, 0},
        {kAll, "do=hold", 204, 1, KSIM_REQUEST_HOLD},
        {kAll, "do=hold", 204, 1, KSIM_REQUEST_HOLD},
        {kAll, "do=resume", 204, 1, 0},
        {kAll, "do=stop_program", 204, 1, KSIM_REQUEST_STOP},
        {kAll, "do=resume", 204, 1, KSIM_REQUEST_STOP}, // a stop stays asked for
        {KSIM_JOB_HOLD, "do=hold", 204, 100, KSIM_REQUEST_HOLD}, // a new job: 100 %, no stop
        {KSIM_JOB_HOLD, "do=override&percent=50", 400, 100, KSIM_REQUEST_HOLD},
        {KSIM_JOB_HOLD, "do=stop_program", 400, 100, KSIM_REQUEST_HOLD},
        {KSIM_JOB_HOLD, "do=cycle_start", 400, 100, KSIM_REQUEST_HOLD},
        {KSIM_JOB_START, "do=cycle_start", 204, 100, KSIM_REQUEST_START},
    };
    uint32_t controls = ~0u;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.query);
        if (r.controls != controls) {
            ASSERT_EQ(KSIM_PANEL_JOB(r.controls ? "{\"name\":\"t\"}" : nullptr, r.controls), 1u);
            controls = r.controls;
        }
        EXPECT_EQ(command(r.query), r.status);
        uint32_t percent = 0;
        EXPECT_EQ(KSIM_PANEL_JOB_REQUESTS(&percent), r.bits);
        EXPECT_EQ(percent, r.percent);
    }
    KSIM_PANEL_JOB(nullptr, 0);
}

// What the program publishes is in the page's state, parsed (text that is no JSON shows
// as null); a description or state beyond its bound is not taken.
TEST_F(PanelJobTest, PublishedJobReachesThePage)
{
    EXPECT_EQ(KSIM_PANEL_JOB(std::string(2u << 20, ' ').c_str(), kAll), 0u);
    EXPECT_EQ(KSIM_PANEL_JOB_STATE(std::string(9000, ' ').c_str()), 0u);
    ASSERT_EQ(KSIM_PANEL_JOB("{\"name\":\"part.ngc\",\"path\":[[0,0,1],[5,5,0]]}", kAll), 1u);

    httplib::Client client("127.0.0.1", port_);
    auto job_state = [&] {
        KSIM_ADVANCE_MS(1); // the machine publishes on its steps
        auto res = client.Get(("/state?token=" + token_).c_str());
        return res ? nlohmann::json::parse(res->body, nullptr, false)["job"] : nlohmann::json();
    };
    const struct {
        const char* state;
        nlohmann::json now;
    } cases[] = {
        {R"({"line":7,"state":"held"})", {{"line", 7}, {"state", "held"}}},
        {"not json", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        ASSERT_EQ(KSIM_PANEL_JOB_STATE(c.state), 1u);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        nlohmann::json job;
        auto now_of = [](const nlohmann::json& j) {
            return j.is_object() && j.contains("now") ? j["now"] : nlohmann::json("unset");
        };
        while (now_of(job = job_state()) != c.now &&
               std::chrono::steady_clock::now() < give_up) {
        }
        EXPECT_EQ(job["now"], c.now);
        EXPECT_EQ(job["controls"], kAll);
    }
    KSIM_PANEL_JOB(nullptr, 0);
}

} // namespace

// The operator's lines: taken only for a job that offers them, bounded in length, in
// bytes and in number waiting, given to the program in order and only with the token.
TEST_F(PanelJobTest, OperatorLinesAreBoundedAndTakenInOrder)
{
    char line[300];
    ASSERT_EQ(KSIM_PANEL_JOB("{\"name\":\"t\"}", kAll), 1u);
    EXPECT_EQ(command("do=line&text=1%20mdi%20G0%20X1"), 400); // the job takes no lines
    ASSERT_EQ(KSIM_PANEL_JOB("{\"name\":\"t\"}", kAll | KSIM_JOB_COMMANDS), 1u);
    const struct {
        std::string text; // URL-encoded
        int status;
    } rows[] = {
        {"1%20mdi%20G0%20X1", 204},
        {"", 400},                          // empty
        {std::string(257, 'a'), 400},       // beyond 256 bytes
        {std::string(256, 'a'), 204},
        {"2%20mdi%0AG0", 400},              // a control character
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 40));
        EXPECT_EQ(command("do=line&text=" + r.text), r.status);
    }
    httplib::Client client("127.0.0.1", port_);
    auto res = client.Post("/command?do=line&text=3%20reset", "", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403); // no token: refused before anything reads it
    EXPECT_EQ(KSIM_PANEL_TAKE_COMMAND(line, 200), 0u) << "a buffer below 257 bytes takes none";
    ASSERT_EQ(KSIM_PANEL_TAKE_COMMAND(line, sizeof line), 11u);
    EXPECT_STREQ(line, "1 mdi G0 X1");
    ASSERT_EQ(KSIM_PANEL_TAKE_COMMAND(line, sizeof line), 256u);
    EXPECT_EQ(KSIM_PANEL_TAKE_COMMAND(line, sizeof line), 0u);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(command("do=line&text=0%20renew"), 204);
    EXPECT_EQ(command("do=line&text=0%20renew"), 400); // 16 wait: the 17th refused
    ASSERT_EQ(KSIM_PANEL_JOB("{\"name\":\"t\"}", kAll), 1u); // a new job: the lines dropped
    EXPECT_EQ(KSIM_PANEL_TAKE_COMMAND(line, sizeof line), 0u);
    KSIM_PANEL_JOB(nullptr, 0);
}
