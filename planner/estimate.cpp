// estimate.cpp - counting a program's slices as its moves come.
#include "planner/estimate.h"

namespace korva3_planner {

void Estimate::push(const PathMove &move, double stand_ms)
{
    slicer_.push(move);
    stand_ms_ += stand_ms;
    if (!slicer_.wants_more())
        run();
}

void Estimate::finish()
{
    slicer_.finish();
    run();
}

// The path moved on as far as the moves so far plan it.
void Estimate::run()
{
    Slice slice;
    uint32_t action;
    while (!done_) {
        slices_ += slicer_.skip();
        Next next = slicer_.next(slice, action);
        if (next == Next::NeedMore)
            return;
        done_ = next == Next::Done;
        slices_ += next == Next::Slice;
    }
}

} // namespace korva3_planner
