// stream.cpp - sending the slicer's slices to the card.
#include "planner/stream.h"

#include "korva3.h"
#include "planner/card_status.h"

namespace korva3_planner {

namespace {

// Until the card has run its last slice: the status register's busy and moving bits,
// read live (the status frames' positions come only every few ms).
void wait_idle(uint32_t card)
{
    while (at_work(KORVA3_GET_CARD(card))) {
    }
}

} // namespace

Streamer::Streamer(Slicer &slicer, uint32_t card, const StreamHooks &hooks)
    : slicer_(slicer), card_(card), hooks_(hooks)
{
}

bool Streamer::end(StreamEnd how)
{
    report_.end = how;
    ended_ = true;
    return false;
}

bool Streamer::pump()
{
    if (ended_)
        return false;
    for (;;) {
        Slice slice;
        uint32_t action = 0;
        Next n = slicer_.next(slice, action);
        if (n == Next::NeedMore)
            return true;
        if (n == Next::Slice) {
            status_.card_status = KORVA3_GET_CARD(card_);
            if (moving_ && !(status_.card_status & KORVA3_ST_BUSY))
                report_.underruns++;
            if (hooks_.sending)
                hooks_.sending(slice);
            KORVA3_INTP_PULSE(card_, slice.pulses[0], slice.pulses[1], slice.pulses[2]);
            moving_ = true;
            report_.slices++;
            report_.line = slice.line;
            report_.step = slice.step;
            status_.slices = report_.slices;
            if (hooks_.sent)
                hooks_.sent(slice);
        }
        if (n == Next::Done) {
            wait_idle(card_);
            return end(applied_.stop ? StreamEnd::Stopped : StreamEnd::Done);
        }
        if (n == Next::Action) {
            wait_idle(card_);
            moving_ = false;
            if (hooks_.action && !hooks_.action(action))
                return end(StreamEnd::ActionRefused);
        }
        status_.held = n == Next::Held;
        if (status_.held)
            moving_ = false;
        if (!hooks_.poll || (n == Next::Slice && until_poll_-- > 0))
            continue;
        until_poll_ = hooks_.poll_every;
        if (n != Next::Slice)
            status_.card_status = KORVA3_GET_CARD(card_);
        Controls c = hooks_.poll(status_);
        if (c.emergency) {
            KORVA3_EMG_STOP(card_);
            return end(StreamEnd::Emergency);
        }
        if (c.override != applied_.override)
            slicer_.set_override(c.override);
        if (c.stop && !applied_.stop)
            slicer_.stop();
        else if (c.hold && !applied_.hold)
            slicer_.hold();
        else if (!c.hold && applied_.hold)
            slicer_.resume();
        applied_ = c;
    }
}

StreamReport stream_to_card(Slicer &slicer, uint32_t card, const StreamHooks &hooks)
{
    slicer.finish();
    Streamer streamer(slicer, card, hooks);
    while (streamer.pump()) {
    }
    return streamer.report();
}

} // namespace korva3_planner
