/*
 * estop_latch_program.cpp - a program that goes on sending paths whatever happens, for
 * panel_browser_test.py: the panel's emergency stop must hold the machine still under it
 * until it is released there. Starts the panel in real time, prints its address, then
 * sends short blocking lines along X (each printed) until standard input closes or
 * two minutes have gone (under the emergency stop, lines go by at the host's speed).
 */
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "korva3.h"
#include "korva3_sim.h"

int main()
{
    if (KSIM_PANEL_START(0) < 0) {
        std::fprintf(stderr, "no panel\n");
        return 1;
    }
    KSIM_SET_PACE(100);
    char url[160];
    KSIM_PANEL_URL(url, sizeof url);
    if (KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        std::fprintf(stderr, "no card\n");
        return 1;
    }
    KORVA3_SET_VAR(0, 10, 10, 10, 400, 0);
    std::printf("panel: %s\n", url);
    std::fflush(stdout);
    static std::atomic<bool> done{false};
    std::thread([] {
        while (std::getchar() != EOF) {
        }
        done = true;
    }).detach();
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (int line = 1; !done && std::chrono::steady_clock::now() < end; line++) {
        KORVA3_INTP_XYZ(0, 200, 0, 0, 2); // 100 slices: 0.1 s of path
        std::printf("line %d\n", line);
        std::fflush(stdout);
    }
    KSIM_PANEL_STOP();
    return 0;
}
