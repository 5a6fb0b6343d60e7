/*
 * fault_matrix_test.cpp - every injected fault against every group of functions: what
 * each group returns while the fault lasts, and that the group works again once the
 * fault is cleared and the card registered anew.
 */
#include "sim_fixture.h"

#include <atomic>
#include <functional>
#include <map>
#include <thread>

namespace {

/* A fault, or the healthy card (none). */
struct Fault {
    const char *name;
    std::function<void()> inject;
};

void clear_faults()
{
    KSIM_FAULT(0, KSIM_FAULT_NONE, 0);
    KSIM_SET_LINK(0, 1);
}

const Fault kFaults[] = {
    {"none", [] {}},
    {"silent", [] { KSIM_FAULT(0, KSIM_FAULT_SILENT, 0); }},
    {"stall", [] { KSIM_FAULT(0, KSIM_FAULT_STALL_STATUS, 10); }},
    {"corrupt", [] { KSIM_FAULT(0, KSIM_FAULT_CORRUPT_STATUS, 1000); }},
    {"never_ready", [] { KSIM_FAULT(0, KSIM_FAULT_NEVER_READY, 0); }},
    {"no_link_echo", [] { KSIM_SET_LINK(0, 0); }},
};

std::string yes_no(bool ok, const char *yes, const char *no) { return ok ? yes : no; }

/* A group of functions, run once: what it did, in a word or two. */
struct Group {
    const char *name;
    std::function<std::string()> run;
};

const Group kGroups[] = {
    {"registration", [] { return "r=" + std::to_string(KORVA3_REGISTRATION(0, 0)); }},
    {"configuration",
     [] {
         KORVA3_SET_VAR(0, 10, 7, 10, 400, 0);
         KORVA3_SET_NC(0, 5);
         return yes_no(KSIM_CARD_VALUE(0, "nc", 0) == 5 && KSIM_CARD_VALUE(0, "accel", 0) == 7,
                       "taken", "lost");
     }},
    {"motion",
     [] {
         int32_t x = KSIM_POSITION(0, 1);
         KORVA3_PULSE_MOVE(0, 1, 100, 50);
         KORVA3_WAIT_X(0);
         return yes_no(KSIM_POSITION(0, 1) == x + 100, "moved", "stood");
     }},
    {"direct registers",
     [] {
         KORVA3_DO(0, 0x05);
         KSIM_SET_INPUTS(0, 0x3C);
         return yes_no(KSIM_OUTPUTS(0) == 0x05 && KORVA3_DI(0) == 0x3C &&
                           KORVA3_IS_X_STOP(0) == 1,
                       "ok", "wrong");
     }},
    {"status",
     [] {
         KORVA3_PRESET_POSITION(0, 2, 4321);
         KSIM_ADVANCE_MS(45); /* two reports */
         uint32_t st = KORVA3_GET_CARD(0);
         KSIM_ADVANCE_MS(45);
         st = KORVA3_GET_CARD(0);
         if (st == 0)
             return std::string("refused");
         return yes_no(KORVA3_GET_YC(0) == 4321, "fresh", "stale");
     }},
    {"blocking path",
     [] {
         int32_t before = KSIM_AXIS_PULSES(0, 2);
         KORVA3_INTP_LINE(0, 300, 700, 40);
         return yes_no(KSIM_AXIS_PULSES(0, 2) - before == 700, "sent", "short");
     }},
    {"stepwise path",
     [] {
         int32_t before = KSIM_AXIS_PULSES(0, 1);
         if (!KORVA3_INTP_LINE02(0, 1, 900, -200, 60, 0))
             return std::string("refused");
         for (int polls = 0; lib("step_mode") && polls < 10000; polls++) {
             KSIM_ADVANCE_MS(5);
             KORVA3_GET_CARD(0);
         }
         return yes_no(KSIM_AXIS_PULSES(0, 1) - before == 900, "sent", "short");
     }},
    {"emergency stop",
     [] {
         uint32_t resets = KSIM_RESETS(0);
         KORVA3_CONSTANT_SPEED(0, 3, 0, 20);
         KORVA3_EMG_STOP(0);
         KORVA3_WAIT_Z(0);
         return yes_no(KSIM_RESETS(0) == resets + 1, "reset", "running");
     }},
};

/* Runs the group; if it is still inside the library after many status reads (a card
 * that never takes a byte holds a command), clears the faults and lets it finish. */
std::string run_watched(const Group &g)
{
    std::string result;
    std::atomic<bool> done{false};
    std::thread t([&] {
        result = g.run();
        done = true;
    });
    const int32_t reads = KSIM_CARD_VALUE(0, "status_reads", 0);
    bool held = false;
    while (!done) {
        if (!held && KSIM_CARD_VALUE(0, "status_reads", 0) - reads > 200000) {
            held = true;
            clear_faults();
        }
        std::this_thread::yield();
    }
    t.join();
    return held ? "held, then " + result : result;
}

TEST(FaultMatrix, EveryGroupUnderEveryFaultAndAfterIt)
{
    /* What each group gives under each fault (rows: faults, columns: groups in order). */
    const std::map<std::string, std::vector<std::string>> expected = {
        {"none", {"r=1", "taken", "moved", "ok", "fresh", "sent", "sent", "reset"}},
        {"silent", {"r=0", "taken", "moved", "ok", "stale", "sent", "sent", "reset"}},
        {"stall", {"r=1", "taken", "moved", "ok", "fresh", "sent", "sent", "reset"}},
        {"corrupt", {"r=1", "taken", "moved", "ok", "stale", "sent", "sent", "reset"}},
        {"never_ready",
         {"held, then r=1", "held, then taken", "held, then moved", "ok", "held, then fresh",
          "held, then sent", "held, then sent", "held, then reset"}},
        {"no_link_echo", {"r=0", "taken", "moved", "ok", "fresh", "sent", "sent", "reset"}},
    };
    for (const Fault &f : kFaults) {
        for (size_t gi = 0; gi < std::size(kGroups); gi++) {
            const Group &g = kGroups[gi];
            SCOPED_TRACE(std::string(f.name) + " x " + g.name);
            KSIM_RESET();
            /* Only the status group needs reports; elsewhere they would pile up while a
             * command is held, by as much as the host's scheduling lets time run. */
            if (std::string(g.name) != "status")
                KSIM_SET_STATUS_PERIOD_MS(-1, 0);
            ASSERT_EQ(add_card(0, 1, 0), 0);
            KSIM_SET_LOGGING(0);
            KORVA3_INITIAL();
            ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
            f.inject();
            EXPECT_EQ(run_watched(g), expected.at(f.name)[gi]);
            clear_faults();
            ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u); /* recovery */
            EXPECT_EQ(run_watched(g), expected.at("none")[gi]);
            EXPECT_EQ(KSIM_BAD_COMMANDS(0), 0u);
        }
    }
}

} // namespace
