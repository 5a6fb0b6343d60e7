// Tests of the described machine: descriptions built (cards, OS, driver, timing, inputs,
// switches), bad ones refused with their file, line and fault, the trace's lines, and
// the wall clock. (The machine built at load is proved by tests/unchanged_program.)
#include "sim_fixture.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// Writes `text` to a file of this name in the current folder; returns the name.
std::string write_file(const std::string &name, const std::string &text)
{
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

std::vector<std::string> read_lines(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class MachineDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override { KSIM_RESET(); }
    void TearDown() override { KSIM_RESET(); } // virtual time and no trace for the next test

    // Loads the description (from a file of the test's own: CTest runs tests at once);
    // the result and the error text.
    uint32_t load(const std::string &text, std::string &error)
    {
        const std::string name =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            ".machine_test.toml";
        char buffer[512] = "";
        uint32_t ok = KSIM_LOAD_MACHINE(write_file(name, text).c_str(), buffer, sizeof buffer);
        error = buffer;
        return ok;
    }

    // No card on the machine: registration fails as on a PC without the card, and why
    // is recorded as a message: alone on XP (no device interface, no box of the
    // library's), after the library's "GetCard==0" box on Windows 98 (a PCI scan).
    static void expect_no_machine(const std::string &why)
    {
        EXPECT_EQ(KSIM_IO_BASE(0), 0u);
        const std::string said = "korva32sim: no machine: " + why + "\n";
        for (const char *box : {"", "DLL: GetCard==0\n"}) {
            if (*box)
                KSIM_SET_OS(1, 4, 10);
            EXPECT_EQ(KORVA3_INITIAL(), 0u);
            EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
            EXPECT_EQ(take_messages(), box + said);
            KORVA3_END();
        }
    }
};

// A bad description gives a machine without cards (never the default machine, whose
// card would let a program that asks for ID 0 run on a machine nobody described): the
// registration fails as on a PC without the card, and its message says why.
TEST_F(MachineDescriptionTest, BadDescriptionsNameTheLineAndGiveNoMachine)
{
    struct Case {
        const char *text;
        int line;
        const char *what;
    } cases[] = {
        {"colour = 1\n", 1, "unknown key 'colour'"},
        {"os = \"3.11\"\n", 1, "os: one of"},
        {"driver = 1\n", 1, "driver: true or false"},
        {"card = 3\n", 1, "card: one [[card]] table per card"},
        {"[[card]]\nbus = 40\n", 2, "card 0: bus: an integer from 0 to 31"},
        {"[[card]]\n[[card]]\nid = 16\n", 3, "card 1: id: an integer from 0 to 15"},
        {"[[card]]\ninputs = 256\n", 2, "card 0: inputs: an integer from 0 to 255"},
        {"[[card]]\nid = 16\n", 2, "card 0: id: an integer from 0 to 15"},
        {"[[card]]\nx = { limits = [5, 1] }\n", 2, "card 0.x.limits: low must not be above high"},
        {"[[card]]\ny = { home = \"left\" }\n", 2, "card 0.y.home: an integer"},
        {"[[card]]\nbus = 0\n[[card]]\nbus = 0\n", 3, "card 1: a second card at bus 0 device 1"},
        {"[clock]\nmode = \"fast\"\n", 2, "clock.mode: \"wall\" or \"virtual\""},
        {"[clock]\nspeed = 0\n", 2, "clock.speed: a number from 0.001 to 1000"},
        {"[timing]\nqueue = 0\n", 2, "timing.queue: an integer from 1 to 65536"},
        {"[panel]\nport = 70000\n", 2, "panel.port"},
        {"trace = 3\n", 1, "trace: the name of the trace file"},
        {"[[card]\n", 1, ""}, // not TOML at all
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_EQ(load(c.text, error), 0u);
        EXPECT_EQ(error.rfind("BadDescriptionsNameTheLineAndGiveNoMachine.machine_test.toml:" +
                                  std::to_string(c.line) + ": ",
                              0),
                  0u)
            << error;
        EXPECT_NE(error.find(c.what), std::string::npos) << error;
        expect_no_machine(error);
    }
    char buffer[256];
    EXPECT_EQ(KSIM_LOAD_MACHINE("no_such_machine.toml", buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "no_such_machine.toml: cannot be read");
    expect_no_machine(buffer);
}

// The trace a refused description names says why the machine is empty.
TEST_F(MachineDescriptionTest, ARefusedDescriptionsTraceSaysWhy)
{
    std::remove("machine_test_refused.jsonl");
    std::string error;
    ASSERT_EQ(load("trace = \"machine_test_refused.jsonl\"\n[[card]]\nid = 16\n", error), 0u);
    KSIM_RESET(); // ends the trace
    const std::vector<std::string> lines = read_lines("machine_test_refused.jsonl");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("\"ev\":\"machine\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"cards\":[]"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "{\"t\":0.000,\"ev\":\"refused\",\"why\":\"" + error + "\"}");
    EXPECT_NE(error.find(".machine_test.toml:3: card 0: id"), std::string::npos) << error;
}

TEST_F(MachineDescriptionTest, EveryKeyBuildsItsPartOfTheMachine)
{
    std::string error;
    ASSERT_EQ(load("os = \"98\"\n"
                   "driver = false\n"
                   "[clock]\nmode = \"virtual\"\n"
                   "[timing]\nslice_period_us = 500\nqueue = 32\nstatus_period_ms = 0\n"
                   "[panel]\nport = 8123\n"
                   "[[card]]\nbus = 2\ndevice = 7\nid = 3\ninputs = 0x5A\n"
                   "x = { limits = [-100, 1500], home = 40 }\n"
                   "[[card]]\ndevice = 9\n",
                   error),
              1u)
        << error;
    EXPECT_EQ(lib("os_platform"), 1u); // Windows 98, recorded by the library's attach hook
    EXPECT_EQ(lib("os_minor"), 10u);
    EXPECT_EQ(KORVA3_INITIAL(), 1u);   // no port-access driver
    EXPECT_NE(KSIM_IO_BASE(1), 0u);
    EXPECT_EQ(KSIM_IO_BASE(2), 0u);
    EXPECT_EQ(KSIM_CARD_VALUE(0, "inputs", 0), 0x5A);

    ASSERT_EQ(KORVA3_REGISTRATION(0, 3), 1u); // card 0 of the description
    EXPECT_EQ(KORVA3_DI(0), 0x5Au);
    KORVA3_PULSE_MOVE(0, 1, 5000, 50);
    KSIM_ADVANCE_MS(1000);
    EXPECT_EQ(KSIM_POSITION(0, 1), 1500); // stopped by the limit switch
    KORVA3_BACK_HOME(0, 1, 0, 0);
    KSIM_ADVANCE_MS(1000);
    EXPECT_EQ(KSIM_POSITION(0, 1), 0); // the home switch is the new origin...
    KORVA3_PULSE_MOVE(0, 1, -200, 50);
    KSIM_ADVANCE_MS(1000);
    EXPECT_EQ(KSIM_POSITION(0, 1), -140); // ...and the low limit 140 pulses below it

    // The queue of 32 slices of 0.5 ms: the 64 slices make the host wait at least 16 ms
    // (with the default 256 slices of 1 ms it waits about 5).
    const uint32_t before = KSIM_CLOCK_MS();
    for (int i = 0; i < 64; i++)
        KORVA3_INTP_PULSE(0, 0, 1, 0);
    const uint32_t waited = KSIM_CLOCK_MS() - before;
    EXPECT_GE(waited, 16u);
}

TEST_F(MachineDescriptionTest, TheTraceTellsWhatTheCardReceivedAndDid)
{
    std::remove("machine_test_trace.jsonl");
    std::string error;
    ASSERT_EQ(load("trace = \"machine_test_trace.jsonl\"\n"
                   "[clock]\nmode = \"virtual\"\n"
                   "[timing]\nslice_period_us = 0\n"
                   "[[card]]\nid = 0\nx = { limits = [-10, 10] }\n",
                   error),
              1u)
        << error;
    ASSERT_EQ(KORVA3_INITIAL(), 0u);
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KORVA3_SET_VAR(0, 10, 5, 10, 400, 0);
    KORVA3_PULSE_MOVE(0, 2, -300, 20);
    KORVA3_INTP_PULSE(0, 5, -6, 7);
    KORVA3_INTP_PULSE(0, 8, 0, 0);
    KORVA3_PRESET_POSITION(0, 3, 1234);
    KORVA3_DO(0, 0x05);
    KORVA3_RESET_SYSTEM(0);
    KSIM_ADVANCE_MS(100);
    KSIM_RESET(); // ends the trace

    std::ostringstream all;
    const std::vector<std::string> lines = read_lines("machine_test_trace.jsonl");
    for (const std::string &line : lines) {
        EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
        EXPECT_EQ(line.back(), '}') << line;
        all << line << "\n";
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.front().find("\"ev\":\"machine\""), std::string::npos) << lines.front();
    EXPECT_NE(lines.back().find("\"ev\":\"reset\",\"kind\":\"machine\""), std::string::npos);
    const char *expected[] = {
        "\"ev\":\"frame\",\"card\":0,\"cmd\":64,\"seq\":3,\"name\":\"link_test\"}",
        "\"name\":\"set_var\",\"card_var\":10,\"accel\":5,\"start_speed\":10,\"high_speed\":400}",
        "\"name\":\"move\",\"axis\":\"y\",\"pulses\":-300,\"speed\":20}",
        "\"name\":\"slice\",\"x\":5,\"y\":-6,\"z\":7}",
        "\"ev\":\"limit\",\"card\":0,\"axis\":\"x\",\"position\":10}",
        "\"name\":\"preset\",\"axis\":\"z\",\"position\":1234}",
        "\"ev\":\"outputs\",\"card\":0,\"value\":5}",
        "\"ev\":\"reset\",\"card\":0,\"kind\":\"controller\"}",
        "\"name\":\"system_reset2\"}\n{\"t\":",
        "\"ev\":\"reset\",\"card\":0,\"kind\":\"system\"}",
        "\"ev\":\"motion\",\"card\":0,\"x\":10,\"y\":-306,\"z\":1234}",
        "\"ev\":\"status\",\"card\":0,\"sys\":0,\"limit\":2,\"inputs\":0",
    };
    for (const char *e : expected)
        EXPECT_NE(all.str().find(e), std::string::npos) << e << "\nin:\n" << all.str();
}

TEST_F(MachineDescriptionTest, WallClockFollowsTheHostTimesTheSpeed)
{
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 10000); // ten times real time
    const uint32_t start = KSIM_CLOCK_MS();
    std::this_thread::sleep_for(milliseconds(30));
    const uint32_t passed = KSIM_CLOCK_MS() - start;
    EXPECT_GE(passed, 250u);
    EXPECT_LE(passed, 20000u);

    KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 0); // real time: a program's sleep is a sleep
    const auto host = steady_clock::now();
    KSIM_ADVANCE_MS(30);
    EXPECT_GE(steady_clock::now() - host, milliseconds(25));

    KSIM_RESET(); // virtual time again: it stands while the host sleeps
    const uint32_t still = KSIM_CLOCK_MS();
    std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(KSIM_CLOCK_MS(), still);
}

} // namespace
