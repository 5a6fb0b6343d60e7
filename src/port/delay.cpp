/* delay.cpp - DELAY_MS, the library's one way of letting time pass. */
#include "port/delay.h"
#include "port/platform.h"

void DELAY_MS(int32_t ms)
{
    uint32_t start = plat_clock_ms();
    for (;;) {
        int32_t elapsed = (int32_t)(plat_clock_ms() - start); /* modular, then signed */
        if (elapsed >= ms)
            return;
    }
}
