// demo.cpp - the built-in demo job: a rounded rectangle of lines and arcs, a full
// circle, and a stepwise arc whose speed is changed while it runs.
#include "job/demo_job.h"

namespace korva3_tool {

const char *demo_job()
{
    return R"(# korva3 demo: what `korva3 demo --print` shows; run your own copy with
# `korva3 run FILE --plot FILE.svg`.
INITIAL
REGISTRATION 0 0                 # card number 0 = the card whose ID switch is 0
SET_VAR 0 10 10 10 400 0         # card_var, accel 10, start speed 10, high speed 400
SET_SERVO_ON 0 1 1 1

# A rounded rectangle, 40000 x 24000 pulses, corners of radius 4000, from (4000, 0)
# counter-clockwise: blocking lines and arcs, each with its own ramp.
INTP_LINE 0 4000 0 200
INTP_LINE 0 32000 0 300
INTP_ARC 0 4000 4000 4000 1 200
INTP_LINE 0 0 16000 300
INTP_ARC 0 -4000 4000 4000 1 200
INTP_LINE 0 -32000 0 300
INTP_ARC 0 -4000 -4000 4000 1 200
INTP_LINE 0 0 -16000 300
INTP_ARC 0 4000 -4000 4000 1 200
wait 0                           # until the card has run every queued slice

# A full circle of radius 8000 around the rectangle's centre (20000, 12000).
INTP_LINE 0 24000 12000 400
INTP_CIRCLE 0 -8000 0 0 250      # centre relative to here, clockwise
wait 0

# A stepwise arc over the top, from (40000, 12000) to (0, 12000), radius 20000: each
# poll of the card's status sends the next batch of slices. After two polls the speed
# is raised while the arc runs: the slices not yet sent speed up (those already queued
# in the card run as they are), and the polls go on until the card is idle.
INTP_LINE 0 12000 0 400
INTP_ARC02 0 1 -40000 0 20000 1 80 0
poll 0 20 2
INTP_ONLINE_SETSPEED 300
poll 0 20
print 0
expect 0 0 12000 0
)";
}

} // namespace korva3_tool
