// gcode_panel.h - a G-code run on the virtual machine's panel: the planned path (drawn
// before the card moves), the listing around the current line, progress and time left
// from the planner's estimate, the feed; and the operator's feed override, feed hold
// and stop, read on the run's own thread as the planner's live controls.
#ifndef KORVA3_TOOL_GCODE_PANEL_H
#define KORVA3_TOOL_GCODE_PANEL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/settings.h"
#include "planner/slicer.h"
#include "planner/stream.h"

namespace korva3_tool {

// The plan's time at the start of each run of slices of one program line, in path order.
struct PlannedLine {
    int line = 0;
    double start_ms = 0; // from the program's start, at 100 % override
};
std::vector<PlannedLine> planned_lines(const korva3_gcode::Program &program,
                                       const korva3_gcode::Settings &settings, double &total_ms);

// The planned XY path in mm from the program's start: [x, y, rapid] points, arcs cut
// into chords, at most `max_points` points (evenly thinned beyond; the last is always kept).
std::vector<std::array<double, 3>> planned_outline(const korva3_gcode::Program &program,
                                                   std::size_t max_points);

class GcodePanel {
public:
    // `text`: the program as read, for its listing.
    GcodePanel(const korva3_gcode::Program &program, const korva3_gcode::Settings &settings,
               const std::string &text);

    // Before the first slice: the job with its planned path from the card's `origin`
    // (pulses), and the controls it takes. `executing` tells the line of the slice the
    // card runs now (0: none yet): the listing's current line.
    void describe(const std::array<int32_t, 3> &origin, std::function<int()> executing);
    // Before each slice is sent.
    void sending(const korva3_planner::Slice &slice);
    // The operator's requests as the planner's controls (the caller adds its own
    // emergency); `held`: the path rests after a hold.
    korva3_planner::Controls controls(bool held);
    // The end: the controls go off and the page shows `how`.
    void ended(const std::string &how);

private:
    void publish(bool now);
    std::string listing_json(int line) const;

    const korva3_gcode::Program &prog_;
    const korva3_gcode::Settings &set_;
    std::vector<std::string> lines_; // the program's text, line by line
    std::vector<PlannedLine> plan_;
    std::map<int, double> line_feed_; // mm/min: the F of each line that cuts
    double total_ms_ = 0;
    std::string description_;

    std::function<int()> executing_;
    size_t at_ = 0;          // plan_ entry of the line being sent
    int line_ = 0;           // the line being sent
    double in_line_ms_ = 0;  // slice time sent in it
    double programmed_ = 0;  // the F of the line being sent, mm/min
    double feed_ = 0;        // programmed feed times the override, mm/min
    bool rapid_ = false;     // the slice being sent is a rapid's
    uint32_t override_ = 100;
    const char *state_ = "running";
    std::string end_;
    std::string last_sent_;
    std::chrono::steady_clock::time_point next_publish_{};
};

} // namespace korva3_tool

#endif
