/* intp_state.cpp - the interpolation state and the count of slices in progress. */
#include "state/intp_state.h"

#include <string.h>

#include "port/platform.h"

INTP_STATE intp;
std::atomic<uint8_t> intp_enabled;
std::atomic<uint32_t> slices_in_progress;

void intp_state_clear(void)
{
    memset(&intp, 0, sizeof intp);
    intp_enabled.store(0);
}

void wait_for_slice_in_progress(int32_t max_ms)
{
    uint32_t start = plat_clock_ms();
    while (slices_in_progress.load() != 0 && (int32_t)(plat_clock_ms() - start) < max_ms) {
    }
}
