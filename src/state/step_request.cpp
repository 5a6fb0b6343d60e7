/* step_request.cpp - the saved stepwise request. */
#include "state/step_request.h"

STEP_REQUEST step_request;

void step_request_clear(void)
{
    step_request.step_mode.store(0);
    step_request.card = 0;
    step_request.plane = 0;
    step_request.value1 = step_request.value2 = step_request.value3 = step_request.value4 = 0;
    step_request.direction = 0;
    step_request.speed = 0;
    step_request.no_ramp = 0;
}
