/* start_values.cpp - set_start_values. */
#include "state/start_values.h"

#include "state/intp_state.h"
#include "state/motion_vars.h"
#include "state/step_request.h"

void set_start_values(void)
{
    motion_vars.card_var = 10;
    motion_vars.accel = 2;
    motion_vars.start_speed = 2;
    motion_vars.high_speed = 100;
    motion_vars.spare_var = 30;

    intp.total_length = 0;
    intp.remaining = 0;
    intp.step = 0;
    intp.decelerating = 0;
    intp.phase = PHASE_NONE;
    intp.engine_phase = ENGINE_SETUP;
    intp_enabled.store(0);
    step_request.step_mode.store(0);
}
