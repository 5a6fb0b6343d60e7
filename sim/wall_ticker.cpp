// wall_ticker.cpp - the thread that keeps a wall-clock machine up to the host's time.
#include "wall_ticker.h"

#include <chrono>
#include <thread>

#include "host.h"
#include "quiet_thread.h"
#include "vm.h"

namespace korva::sim {

namespace {

// Host time between two catch-ups.
constexpr std::chrono::milliseconds kTickerPeriod{2};

void run_ticker()
{
    do {
        std::this_thread::sleep_for(kTickerPeriod);
    } while (with_machine([](Machine& vm) { return vm.catch_up_with_wall(); }));
}

} // namespace

void start_wall_ticker()
{
    host::pin_library(); // the thread's code must stay while it runs
    start_quiet_thread(run_ticker).detach(); // Ctrl-C stays with the program
}

} // namespace korva::sim
