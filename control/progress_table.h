// progress_table.h - how far into a program's planned time each step of its reading
// lies: the check's plan, kept in bounded memory, read by the run to tell the progress
// and the time left of the line the card executes.
//
// A step is the reader's count of the lines it has read (loops and calls read lines
// again: the count goes on), so it grows along the program whatever the program's
// shape, and the check and the run count alike. The table keeps (step, ms) marks at
// most kMaxMarks of them: when full, every other mark goes and marks are taken half as
// often, so a program of any length keeps a table of the same size, evenly spread.
#ifndef KORVA3_CONTROL_PROGRESS_TABLE_H
#define KORVA3_CONTROL_PROGRESS_TABLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva3_control {

class ProgressTable {
public:
    static constexpr std::size_t kMaxMarks = 4096;

    // The check: at `step` the plan had run `ms` (at 100 % override). Steps grow.
    void mark(uint64_t step, double ms);
    // The plan's whole time.
    void finish(double total_ms) { total_ms_ = total_ms; }

    double total_ms() const { return total_ms_; }
    // The plan's time at `step`, between the marks around it.
    double ms_at(uint64_t step) const;
    std::size_t size() const { return marks_.size(); }

private:
    struct Mark {
        uint64_t step;
        double ms;
    };
    std::vector<Mark> marks_;
    uint64_t every_ = 1;   // a mark every this many steps
    uint64_t next_ = 0;    // the next step that gets a mark
    double total_ms_ = 0;
};

} // namespace korva3_control

#endif
