/* intp_state.cpp - the interpolation state and the saved stepwise request. */
#include "interp/intp_state.h"

#include <string.h>

#include "interp/step_request.h"
#include "port/platform.h"

INTP_STATE intp;
std::atomic<uint8_t> intp_enabled;
std::atomic<uint32_t> slices_in_progress;
STEP_REQUEST step_request;

void intp_state_clear(void)
{
    memset(&intp, 0, sizeof intp);
    intp_enabled.store(0);
}

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

void wait_for_slice_in_progress(int32_t max_ms)
{
    uint32_t start = plat_clock_ms();
    while (slices_in_progress.load() != 0 && (int32_t)(plat_clock_ms() - start) < max_ms) {
    }
}
