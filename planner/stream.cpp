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

StreamReport stream_to_card(Slicer &slicer, uint32_t card, const StreamHooks &hooks)
{
    StreamReport r;
    Status status;
    Controls applied;
    bool moving = false; // slices are queued or running: an idle card has run dry
    uint32_t until_poll = 0;
    for (;;) {
        Slice slice;
        uint32_t action = 0;
        Next n = slicer.next(slice, action);
        if (n == Next::Slice) {
            status.card_status = KORVA3_GET_CARD(card);
            if (moving && !(status.card_status & KORVA3_ST_BUSY))
                r.underruns++;
            if (hooks.sending)
                hooks.sending(slice);
            KORVA3_INTP_PULSE(card, slice.pulses[0], slice.pulses[1], slice.pulses[2]);
            moving = true;
            r.slices++;
            r.line = slice.line;
            status.slices = r.slices;
            if (hooks.sent)
                hooks.sent(slice);
        }
        if (n == Next::Done) {
            wait_idle(card);
            r.end = applied.stop ? StreamEnd::Stopped : StreamEnd::Done;
            return r;
        }
        if (n == Next::Action) {
            wait_idle(card);
            moving = false;
            if (hooks.action && !hooks.action(action)) {
                r.end = StreamEnd::ActionRefused;
                return r;
            }
        }
        status.held = n == Next::Held;
        if (status.held)
            moving = false;
        if (!hooks.poll || (n == Next::Slice && until_poll-- > 0))
            continue;
        until_poll = hooks.poll_every;
        if (n != Next::Slice)
            status.card_status = KORVA3_GET_CARD(card);
        Controls c = hooks.poll(status);
        if (c.emergency) {
            KORVA3_EMG_STOP(card);
            r.end = StreamEnd::Emergency;
            return r;
        }
        if (c.override != applied.override)
            slicer.set_override(c.override);
        if (c.stop && !applied.stop)
            slicer.stop();
        else if (c.hold && !applied.hold)
            slicer.hold();
        else if (!c.hold && applied.hold)
            slicer.resume();
        applied = c;
    }
}

} // namespace korva3_planner
