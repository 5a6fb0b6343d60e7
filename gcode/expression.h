// expression.h - parameters and [ ] expressions in a line's values, as RS274/NGC
// writes them (read from the line as read_block holds it: upper case, no blanks).
//
//   a value     a number; #1, #<NAME>, ##1, #[#1+1] (a parameter); [expression]; a
//               function; any of these after a sign ("X-#1")
//   expression  values joined by binary operators, left to right within a level:
//                 **                 (power; highest)
//                 *  /  MOD          (MOD's result is never negative, as LinuxCNC)
//                 +  -
//                 EQ NE GT GE LT LE  (1 or 0; values within 0.000001 are equal, as
//                                     LinuxCNC 2.9 takes them for EQ NE GE LE)
//                 AND OR XOR         (lowest; a value other than 0 is true)
//   functions   SIN[a] COS[a] TAN[a] (a in degrees), ASIN[x] ACOS[x] (degrees),
//               ATAN[y]/[x] (degrees, in the quadrant of (x, y)), SQRT ABS EXP LN,
//               ROUND (half away from 0), FIX (down), FUP (up), EXISTS[#<NAME>] (1 or 0)
//
// Errors name what went wrong: a parameter read before it is set, division by zero,
// SQRT of a negative number, LN of 0 or less, ASIN or ACOS beyond -1..1, a negative
// number to a power that is not whole, a result too large for a double, a number written
// beyond 1e9 in size, brackets nested more than 64 deep, a parameter number not a whole
// number in 1..5601, a name longer than 100 characters, a new named parameter past
// kMaxNames, and more steps than a reading allows.
//
// The work is counted in steps: each operator (a sign too), function and parameter
// read or set is one. A reading's steps are bounded (ReadOptions::max_expression_steps),
// so no loop of long expressions can keep a check busy for hours; past the bound every
// value is an error and exhausted() says so.
#ifndef KORVA3_GCODE_EXPRESSION_H
#define KORVA3_GCODE_EXPRESSION_H

#include <cstdint>
#include <string>
#include <vector>

#include "gcode/block.h"
#include "gcode/parameters.h"

namespace korva3_gcode {

class Expressions : public Values {
public:
    // `max_steps`: the steps of all the values read through this object.
    explicit Expressions(Parameters &parameters, int64_t max_steps = INT64_MAX)
        : params_(parameters), max_steps_(max_steps) {}

    bool starts(const std::string &text, size_t i) const override;
    bool read(const std::string &text, size_t &i, double &value,
              std::string &error) const override;
    bool assignment(const std::string &text, size_t &i, Assignment &a,
                    std::string &error) const override;
    void assign(const std::vector<Assignment> &assignments) override;
    void not_set(int line) override;

    Parameters &parameters() { return params_; }

    // The steps are spent: the reading ends.
    bool exhausted() const { return steps_ > max_steps_; }

private:
    Parameters &params_;
    int64_t max_steps_;
    mutable int64_t steps_ = 0;
    mutable std::vector<ParamRef> failed_; // assignments whose value had an error
};

} // namespace korva3_gcode

#endif
