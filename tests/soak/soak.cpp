/*
 * soak.cpp - korva_soak: paths on the virtual card in real time, for as long as asked,
 * while the front panel is open, pages follow its event stream, a person flips the
 * digital inputs and reads the state, and the host is loaded. Every path must end
 * exactly: the card's report (KORVA3_GET_CARD) must give the commanded end, as must the
 * machine's own count.
 *
 *   korva_soak [--seconds N] [--long] [--load THREADS] [--streams N] [--clock wall|pace|both]
 *              [--seed N] [--reported-every ROUNDS]
 *
 * Short (the default): paths of tens of milliseconds, for the test suite. --long: paths of
 * seconds, some of up to 40 s, and every few rounds the 120000-pulse line at 1 pulse a
 * slice (two minutes). The clock: the machine in wall-clock time (wall), in virtual time
 * paced to the wall clock as `korva3 run --panel` runs it (pace), or both, round about.
 * Exit 0 when every path ended exactly and the panel answered as it should; 1 otherwise.
 * scripts/soak.sh runs it long.
 */
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "korva3.h"
#include "korva3_sim.h"
#include "panel_traffic.h"
#include "soak_paths.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    double seconds = 5;
    bool longer = false;
    int load = 1;
    int streams = 3;
    std::string clock = "both";
    std::uint32_t seed = 1;
    std::uint64_t reported_every = 3; // odd: in wall and paced rounds in turn
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--long") {
            o.longer = true;
            continue;
        }
        if (value == nullptr)
            return false;
        ++i;
        if (arg == "--seconds")
            o.seconds = std::atof(value);
        else if (arg == "--load")
            o.load = std::atoi(value);
        else if (arg == "--streams")
            o.streams = std::atoi(value);
        else if (arg == "--clock")
            o.clock = value;
        else if (arg == "--seed")
            o.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        else if (arg == "--reported-every")
            o.reported_every = std::strtoull(value, nullptr, 10);
        else
            return false;
    }
    return o.seconds > 0 && o.load >= 0 && o.streams >= 1 &&
           (o.clock == "wall" || o.clock == "pace" || o.clock == "both");
}

// Threads that keep the host's cores busy (arithmetic and a walk through 8 MB).
class Load {
public:
    explicit Load(int threads)
    {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] {
                std::vector<std::uint32_t> memory(2u << 20, 1u);
                std::uint32_t x = 1;
                while (!stopping_)
                    for (std::size_t k = 0; k < memory.size(); k += 16)
                        memory[k] = x =
                            x * 1664525u + 1013904223u + memory[(k * 7) % memory.size()];
                sink_ += x;
            });
    }
    ~Load()
    {
        stopping_ = true;
        for (std::thread& t : threads_)
            t.join();
    }

private:
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint32_t> sink_{0};
    std::vector<std::thread> threads_;
};

void use_clock(bool wall)
{
    if (wall) {
        KSIM_SET_PACE(0);
        KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 1000);
    } else {
        KSIM_SET_CLOCK(KSIM_CLOCK_VIRTUAL, 0);
        KSIM_SET_PACE(100);
    }
}

// Runs a path; stepwise ones pumped by KORVA3_INTP_STOP at random pauses, as a program's
// polling loop would.
void run_path(const soak::Path& p, std::mt19937& rng)
{
    const std::uint32_t no_ramp = rng() % 4 == 0;
    std::uint32_t saved = 0;
    switch (p.kind) {
    case soak::Path::Line: KORVA3_INTP_LINE(0, p.a, p.b, p.speed); return;
    case soak::Path::Xyz: KORVA3_INTP_XYZ(0, p.a, p.b, p.c, p.speed); return;
    case soak::Path::Circle: KORVA3_INTP_CIRCLE(0, p.a, p.b, p.direction, p.speed); return;
    case soak::Path::Arc: KORVA3_INTP_ARC(0, p.a, p.b, p.c, p.direction, p.speed); return;
    case soak::Path::StepLine: saved = KORVA3_INTP_LINE02(0, 1, p.a, p.b, p.speed, no_ramp); break;
    case soak::Path::StepCircle:
        saved = KORVA3_INTP_CIRCLE02(0, 1, p.a, p.b, p.direction, p.speed, no_ramp);
        break;
    case soak::Path::StepArc:
        saved = KORVA3_INTP_ARC02(0, 1, p.a, p.b, p.c, p.direction, p.speed, no_ramp);
        break;
    }
    while (saved != 0 && KORVA3_INTP_STOP() != 0)
        KSIM_ADVANCE_MS(rng() % 20);
}

struct Position {
    std::int32_t x = 0, y = 0, z = 0;
    bool operator==(const Position& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Position& o) const { return !(*this == o); }
    std::string text() const
    {
        return "(" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) + ")";
    }
};

Position reported()
{
    KORVA3_GET_CARD(0);
    return {KORVA3_GET_XC(0), KORVA3_GET_YC(0), KORVA3_GET_ZC(0)};
}

Position machine_position()
{
    return {KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
}

// Pulses the card received in slices since it was added.
Position pulses_received()
{
    return {KSIM_AXIS_PULSES(0, 1), KSIM_AXIS_PULSES(0, 2), KSIM_AXIS_PULSES(0, 3)};
}

struct Tally {
    std::uint64_t paths = 0, slices = 0, failures = 0, stale_at_wait = 0;
};

// Waits for the card, then for a report made after the path's end (status reports come
// every 20 ms), and checks the end. A report read at once after KORVA3_WAIT_X may still
// be from before the last slices ran: counted, not a failure.
bool check_end(const soak::Path& p, const Position& expected, const Position& received_before,
               Tally& tally, const soak::PanelTraffic& traffic, bool wall)
{
    KORVA3_WAIT_X(0);
    if (reported() != expected)
        ++tally.stale_at_wait;
    KORVA3_WAIT_Y(0);
    KORVA3_WAIT_Z(0);
    Position report;
    for (int tries = 0; tries < 10; ++tries) {
        KSIM_ADVANCE_MS(25);
        report = reported();
        if (report == expected && machine_position() == expected)
            return true;
    }
    const Position received = pulses_received();
    const Position sent{received.x - received_before.x, received.y - received_before.y,
                        received.z - received_before.z};
    std::printf("FAIL %s (%s clock): expected end %s, report %s, machine %s; the card received "
                "%s of this path's pulses (move %s); status 0x%02x, limit byte 0x%02x\n",
                p.describe().c_str(), wall ? "wall" : "paced", expected.text().c_str(),
                report.text().c_str(), machine_position().text().c_str(), sent.text().c_str(),
                Position{p.move[0], p.move[1], p.move[2]}.text().c_str(), KORVA3_GET_CARD(0),
                KORVA3_GET_LIMIT(0));
    std::printf("  the panel's last commands:\n");
    for (const std::string& line : traffic.recent())
        std::printf("    %s\n", line.c_str());
    ++tally.failures;
    return false;
}

// The inputs as the panel left them: on the card, and in its report. The machine takes
// the panel's commands at the program's next access (here KORVA3_DI), and reports them
// from then on; the reports that piled up unread meanwhile are drained first.
bool check_inputs(std::uint8_t expected)
{
    const std::uint32_t di = KORVA3_DI(0);
    reported();
    KSIM_ADVANCE_MS(60);
    reported();
    const std::uint32_t p1 = KORVA3_GET_P1(0);
    if (di == expected && p1 == expected)
        return true;
    std::printf("FAIL inputs: the panel set 0x%02x, KORVA3_DI 0x%02x, report 0x%02x\n", expected,
                di, p1);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const char* env = std::getenv("SOAK_SECONDS"))
        o.seconds = std::atof(env);
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: korva_soak [--seconds N] [--long] [--load THREADS] "
                             "[--streams N] [--clock wall|pace|both] [--seed N] "
                             "[--reported-every ROUNDS]\n");
        return 2;
    }
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM,
                  0);
    if (KSIM_PANEL_START(0) < 0) {
        std::printf("FAIL no panel\n");
        return 1;
    }
    char url[200] = "";
    KSIM_PANEL_URL(url, sizeof url);
    use_clock(o.clock != "pace");
    if (KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        std::printf("FAIL the card does not register\n");
        return 1;
    }
    std::printf("soak: %.0f s, %s paths, clock %s, %d load threads, %d event streams, seed %u\n",
                o.seconds, o.longer ? "long" : "short", o.clock.c_str(), o.load, o.streams, o.seed);
    std::fflush(stdout);

    soak::PanelTraffic traffic(soak::parse_panel_url(url), o.streams, o.seed);
    traffic.start();
    Tally tally;
    {
        Load load(o.load);
        std::mt19937 rng(o.seed);
        const auto start = Clock::now();
        const auto until = start + std::chrono::duration<double>(o.seconds);
        Position expected;
        for (std::uint64_t round = 0; Clock::now() < until; ++round) {
            const bool wall = o.clock == "wall" || (o.clock == "both" && round % 2 == 0);
            use_clock(wall);
            soak::RoundSettings set;
            const auto paths =
                soak::make_round(rng, o.longer, round, o.longer ? o.reported_every : 0, set);
            KORVA3_SET_VAR(0, 10, set.accel, set.start_speed, set.high_speed, 0);
            for (const soak::Path& p : paths) {
                const Position before = pulses_received();
                const auto t0 = Clock::now();
                run_path(p, rng);
                expected = {expected.x + p.move[0], expected.y + p.move[1], expected.z + p.move[2]};
                const bool ok = check_end(p, expected, before, tally, traffic, wall);
                ++tally.paths;
                tally.slices += p.min_slices();
                if (!ok)
                    expected = machine_position(); // go on from where the card stands
                if (o.longer) {
                    const double took = std::chrono::duration<double>(Clock::now() - t0).count();
                    std::printf("%7.1f s  %-5s %s: %s in %.1f s\n",
                                std::chrono::duration<double>(Clock::now() - start).count(),
                                wall ? "wall" : "paced", ok ? "ok  " : "FAIL",
                                p.describe().c_str(), took);
                    std::fflush(stdout);
                }
            }
        }
    }
    traffic.stop();
    use_clock(o.clock != "pace");
    const bool inputs_ok = check_inputs(traffic.inputs());
    const soak::TrafficCounts& c = traffic.counts();
    std::printf("soak: %llu paths (at least %llu slices), %llu ended short or long, %llu reports "
                "read at once after KORVA3_WAIT_X not yet at the end\n",
                (unsigned long long)tally.paths, (unsigned long long)tally.slices,
                (unsigned long long)tally.failures, (unsigned long long)tally.stale_at_wait);
    std::printf("panel: %llu events on %llu streams (%llu not the state), %llu input flips, %llu "
                "reads, %llu refusals, %llu wrong answers\n",
                (unsigned long long)c.events.load(), (unsigned long long)c.streams.load(),
                (unsigned long long)c.bad_events.load(), (unsigned long long)c.inputs.load(),
                (unsigned long long)c.reads.load(), (unsigned long long)c.refusals.load(),
                (unsigned long long)c.wrong_answers.load());
    KORVA3_END();
    KSIM_PANEL_STOP();
    const bool ok = tally.failures == 0 && inputs_ok && c.wrong_answers == 0 && c.bad_events == 0 &&
                    c.events > 0 && tally.paths > 0;
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
