// run_from_line.cpp - the lines before N skipped, and the safe move to line N.
#include "control/run_from_line.h"

#include <algorithm>

namespace korva3_control {

namespace kg = korva3_gcode;

void RunFromLine::skip(const kg::Move &m)
{
    switch (m.op) {
    case kg::Op::Line:
    case kg::Op::Arc:
    case kg::Op::Circle:
        at_ = m.end;
        break;
    case kg::Op::Outputs:
        outputs_ = m.outputs;
        outputs_set_ = true;
        break;
    default: // dwells, pauses and the like belong to the lines skipped
        break;
    }
}

std::vector<kg::Move> RunFromLine::approach(const kg::Move &first) const
{
    const double z = std::max({clearance_z_, here_[2], at_[2]});
    std::vector<kg::Move> moves;
    kg::Move m;
    m.op = kg::Op::Line;
    m.line = line_;
    m.rapid = true;
    m.feed_mm_min = rapid_;
    m.exact_stop = true;
    m.end = {here_[0], here_[1], z};
    moves.push_back(m);
    m.end = {at_[0], at_[1], z};
    moves.push_back(m);
    if (outputs_set_) {
        kg::Move o;
        o.op = kg::Op::Outputs;
        o.line = line_;
        o.outputs = outputs_;
        o.end = m.end;
        moves.push_back(o);
    }
    m.end = at_;
    m.rapid = first.rapid || first.feed_mm_min <= 0;
    m.feed_mm_min = m.rapid ? rapid_ : first.feed_mm_min;
    moves.push_back(m);
    return moves;
}

} // namespace korva3_control
