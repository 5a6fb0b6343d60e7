// status_report.h - grbl 1.1's answer to '?': "<Idle|MPos:0.000,0.000,0.000|FS:0,0>"
// from the controller's snapshot, with WCO (every 10 reports at rest, 30 moving, and
// when it changes), Ov (every 10 / 20, and when an override changes; never with WCO),
// Bf and MPos or WPos as the status mask ($10) asks, inches when $13 asks.
#ifndef KORVA3_GRBL_STATUS_REPORT_H
#define KORVA3_GRBL_STATUS_REPORT_H

#include <array>
#include <string>

#include "control/machine_state.h"

namespace korva3_grbl {

// What the grbl session adds to the controller's state.
struct SessionFlags {
    bool alarm = false;      // locked until $X or $H
    bool check = false;      // $C
    bool sleep = false;      // $SLP
    bool idle_hold = false;  // '!' at rest: Hold:0 until '~'
};

// "Idle", "Run", "Hold:0", "Hold:1", "Jog", "Alarm", "Check", "Home", "Sleep".
std::string grbl_state(const korva3_control::Snapshot &s, const SessionFlags &f);

class StatusReporter {
public:
    struct Options {
        int mask = 1;            // $10: bit 0 MPos (else WPos), bit 1 Bf
        bool inches = false;     // $13
        int planner_free = 15;   // Bf: blocks free
        int rx_free = 128;       // Bf: bytes free
        std::array<int, 3> overrides{{100, 100, 100}}; // feed, rapid, spindle %
    };
    std::string report(const korva3_control::Snapshot &s, const SessionFlags &f,
                       const Options &o);

private:
    int wco_count_ = 0, ov_count_ = 0; // reports to go before WCO, Ov again
    std::array<double, 3> last_wco_{};
    std::array<int, 3> last_ov_{{-1, -1, -1}};
};

} // namespace korva3_grbl

#endif
