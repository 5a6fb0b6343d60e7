// run_from_line.h - a program started at line N, as LinuxCNC's run-from-line does: the
// lines before N are read (their modal state, offsets, tool and outputs take effect) but
// move nothing; then a safe move brings the machine to where the program stands at
// line N: straight up to a clearance height, across at it, the outputs as the program
// has them there (spindle, coolant), and down to the point at the feed of line N's
// first move; then the program goes on from line N.
//
//      clearance  ----------------->
//          ^                        |  (outputs, then down at the feed)
//          |  here                  v  where the program stands at line N
#ifndef KORVA3_CONTROL_RUN_FROM_LINE_H
#define KORVA3_CONTROL_RUN_FROM_LINE_H

#include <cstdint>
#include <vector>

#include "gcode/program.h"

namespace korva3_control {

class RunFromLine {
public:
    // `line`: where to start; `here`: the machine now; `clearance_z`: the height to
    // cross at (the higher of it and the two ends is taken), machine mm; `rapid`: the
    // machine's rapid speed, mm/min.
    RunFromLine(int line, const korva3_gcode::MmPoint &here, double clearance_z, double rapid)
        : line_(line), here_(here), clearance_z_(clearance_z), rapid_(rapid), at_(here) {}

    // The reader is about to read line `number`: true once line N has been reached.
    bool begin_line(int number)
    {
        if (number == line_)
            reached_ = true;
        return reached_;
    }
    bool reached() const { return reached_; }

    // A move of a line before N: nothing runs, where it ends and the outputs it sets
    // are remembered.
    void skip(const korva3_gcode::Move &m);

    // The safe move to where the program stands, before line N's first move `first`.
    std::vector<korva3_gcode::Move> approach(const korva3_gcode::Move &first) const;

private:
    int line_;
    korva3_gcode::MmPoint here_;
    double clearance_z_;
    double rapid_;
    korva3_gcode::MmPoint at_;   // where the program stands after the moves skipped
    uint32_t outputs_ = 0;       // the outputs it set
    bool outputs_set_ = false;
    bool reached_ = false;
};

} // namespace korva3_control

#endif
