/*
 * call_storm_test.cpp - a seeded storm of random calls: every library function and the
 * virtual card's control (faults, offered bytes, switches, time), in random order with
 * random and extreme arguments. Invariants: every finished path delivered exactly its
 * pulses, the card never received a broken command, and (in the sanitizer builds) no
 * report. KORVA_STORM_CALLS (default 3000) and KORVA_STORM_SEED (default 1) choose the
 * run; a long run: KORVA_STORM_CALLS=10000000 ./build-asan/tests/korva_tests
 * --gtest_filter='CallStorm*'.
 */
#include "sim_fixture.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>

namespace {

uint64_t env_number(const char *name, uint64_t fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

class Storm {
public:
    explicit Storm(uint64_t seed) : rng_(seed) {}

    void call()
    {
        switch (pick(25)) {
        case 0: KORVA3_SET_VAR(0, pick(256), 1 + pick(50), 1 + pick(100), pick(2100), pick(256)); break;
        case 1: KORVA3_SET_CONTROL_MODE(0, pick(3), pick(3), pick(3)); break;
        case 2: KORVA3_SET_DEFDIR(0, pick(2), pick(2), pick(2)); break;
        case 3: KORVA3_SET_SERVO_ON(0, pick(2), pick(2), pick(2)); break;
        case 4: KORVA3_SET_NC(0, pick(256)); KORVA3_SET_ZERO(0, pick(5)); break;
        case 5: KORVA3_PRESET_POSITION(0, pick(5), extreme()); break;
        case 6: KORVA3_PULSE_MOVE(0, pick(5), extreme(), pick(2100)); break;
        case 7: KORVA3_CONSTANT_SPEED(0, pick(5), pick(2), pick(2100)); break;
        case 8: KORVA3_BACK_HOME(0, pick(5), pick(256), pick(256)); KORVA3_BACK_HOME01(0, pick(5), pick(256)); break;
        case 9: KORVA3_STOP(0, pick(5)); KORVA3_DEC_STOP(0, pick(5)); break;
        case 10: stop_and_wait(); break;
        case 11: KORVA3_DO(0, pick(256)); KORVA3_DI(0); KORVA3_MSC(0); break;
        case 12: KORVA3_IS_X_STOP(0); KORVA3_IS_Y_STOP(0); KORVA3_IS_Z_STOP(0); break;
        case 13: status(); break;
        case 14: pulse(); break;
        case 15: blocking_path(); break;
        case 16: stepwise_path(); break;
        case 17: pick(4) ? KORVA3_EMG_STOP(0) : KORVA3_RESET_SYSTEM(0); break;
        case 18: KSIM_FAULT(0, pick(4), pick(40)); break; /* not "never ready": it would hold every command */
        case 19: offer(); break;
        case 20: KSIM_ADVANCE_MS(pick(100)); break;
        case 21: KSIM_SET_LIMITS(0, 1 + pick(3), -extreme_small(), extreme_small()); KSIM_SET_HOME(0, 1 + pick(3), extreme()); break;
        case 22: KSIM_HOLD(0, pick(30)); KSIM_SET_INPUTS(0, pick(256)); break;
        case 23: reregister(); break;
        case 24: KORVA3_END(); KORVA3_INITIAL(); reregister(); break;
        }
        ASSERT_EQ(KSIM_BAD_COMMANDS(0), 0u);
    }

    int32_t expected(uint32_t axis) const { return sent_[axis - 1]; }

private:
    uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
    int32_t small() { return static_cast<int32_t>(pick(8001)) - 4000; }
    int32_t extreme_small() { return static_cast<int32_t>(pick(100000)); }
    int32_t extreme()
    {
        static const int32_t ends[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
        return pick(3) ? small() : ends[pick(7)];
    }
    uint32_t speed() { return pick(8) ? 5 + pick(400) : pick(4000); }
    /* A radius that reaches the end point (u, v), either sense. */
    int32_t radius(int32_t u, int32_t v)
    {
        const int32_t r = static_cast<int32_t>(std::sqrt(double(u) * u + double(v) * v) / 2) + 1;
        return (pick(2) ? 1 : -1) * (r + static_cast<int32_t>(pick(4000)));
    }

    void add(uint32_t plane, int32_t u, int32_t v)
    {
        static const int axes[4][2] = {{0, 1}, {0, 1}, {0, 2}, {1, 2}}; /* plane 1..3 */
        sent_[axes[plane][0]] += u;
        sent_[axes[plane][1]] += v;
    }

    void stop_and_wait()
    {
        KORVA3_EMG_STOP(0); /* nothing runs for ever after this */
        KORVA3_WAIT_X(0);
        KORVA3_WAIT_Y(0);
        KORVA3_WAIT_Z(0);
    }

    void status()
    {
        KORVA3_GET_CARD(0);
        KORVA3_GET_SYS(0), KORVA3_GET_LIMIT(0), KORVA3_GET_P1(0);
        KORVA3_GET_XC(0), KORVA3_GET_XP(0), KORVA3_GET_YC(0), KORVA3_GET_YP(0);
        KORVA3_GET_ZC(0), KORVA3_GET_ZP(0);
    }

    void pulse()
    {
        int32_t p[3];
        for (int32_t &v : p)
            v = static_cast<int32_t>(pick(4200)) - 2100;
        KORVA3_INTP_PULSE(0, p[0], p[1], p[2]);
        bool fits = true; /* a slice beyond 2047 on any axis is not sent */
        for (int32_t v : p)
            fits = fits && v >= -2047 && v <= 2047;
        for (int i = 0; i < 3 && fits; i++)
            sent_[i] += p[i];
    }

    void blocking_path()
    {
        const uint32_t s = speed(), plane = 1 + pick(3);
        const int32_t u = small(), v = small();
        switch (pick(4)) {
        case 0: {
            const int32_t w = small();
            KORVA3_INTP_XYZ(0, u, v, w, s);
            if (s != 0)
                sent_[0] += u, sent_[1] += v, sent_[2] += w;
            break;
        }
        case 1:
            plane == 1 ? KORVA3_INTP_LINE(0, u, v, s) : KORVA3_INTP_LINE01(0, plane, u, v, s);
            if (s != 0)
                add(plane, u, v);
            break;
        case 2:
            plane == 1 ? KORVA3_INTP_CIRCLE(0, u / 4, v / 4, pick(3), s)
                       : KORVA3_INTP_CIRCLE01(0, plane, u / 4, v / 4, pick(3), s);
            break;
        case 3:
            plane == 1 ? KORVA3_INTP_ARC(0, u, v, radius(u, v), pick(3), s)
                       : KORVA3_INTP_ARC01(0, plane, u, v, radius(u, v), pick(3), s);
            if (s != 0)
                add(plane, u, v);
            break;
        }
    }

    void stepwise_path()
    {
        const uint32_t s = speed(), plane = 1 + pick(3), no_ramp = pick(2);
        const int32_t u = small(), v = small();
        uint32_t saved = 0;
        switch (pick(4)) {
        case 3: {
            const int32_t w = small();
            saved = KORVA3_INTP_XYZ02(0, u, v, w, s, no_ramp);
            if (saved)
                sent_[0] += u, sent_[1] += v, sent_[2] += w;
            break;
        }
        case 0: saved = KORVA3_INTP_LINE02(0, plane, u, v, s, no_ramp); if (saved) add(plane, u, v); break;
        case 1: saved = KORVA3_INTP_CIRCLE02(0, plane, u / 4, v / 4, pick(2), s, no_ramp); break;
        case 2: saved = KORVA3_INTP_ARC02(0, plane, u, v, radius(u, v), pick(2), s, no_ramp); if (saved) add(plane, u, v); break;
        }
        /* Pumped to its end by polls, batches and speed changes. */
        for (uint32_t more = saved; more;) {
            switch (pick(3)) {
            case 0: more = KORVA3_INTP_STOP(); break;
            case 1: more = KORVA3_INTP_ONLINE_SETSPEED(pick(2100)); break;
            case 2: KORVA3_GET_CARD(0); more = lib("step_mode"); break;
            }
        }
    }

    void offer()
    {
        uint8_t bytes[80];
        const uint32_t n = pick(sizeof bytes);
        for (uint32_t i = 0; i < n; i++)
            bytes[i] = pick(4) ? static_cast<uint8_t>(rng_()) : (i % 2 ? 0xAA : 0x55);
        KSIM_OFFER(0, bytes, n);
    }

    void reregister()
    {
        KSIM_FAULT(0, KSIM_FAULT_NONE, 0);
        ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    }

    std::mt19937_64 rng_;
    int32_t sent_[3] = {0, 0, 0};
};

TEST(CallStorm, EveryFinishedPathDeliversExactlyItsPulses)
{
    const uint64_t calls = env_number("KORVA_STORM_CALLS", 3000);
    const uint64_t seed = env_number("KORVA_STORM_SEED", 1);
    KSIM_RESET();
    ASSERT_EQ(add_card(0, 1, 0), 0);
    KSIM_SET_LOGGING(0);
    KORVA3_INITIAL();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    Storm storm(seed);
    for (uint64_t i = 0; i < calls; i++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", call " + std::to_string(i));
        storm.call();
        if (HasFatalFailure())
            return;
        for (uint32_t axis = 1; axis <= 3; axis++)
            ASSERT_EQ(KSIM_AXIS_PULSES(0, axis), storm.expected(axis)) << "axis " << axis;
    }
    KSIM_FAULT(0, KSIM_FAULT_NONE, 0);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u); /* the card still answers */
}

} // namespace
