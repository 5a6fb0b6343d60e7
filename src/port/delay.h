/* delay.h - busy wait on the millisecond clock. */
#ifndef KORVA_DELAY_H
#define KORVA_DELAY_H

#include <stdint.h>

/* Waits until at least `ms` milliseconds have passed on the millisecond clock. The
 * difference now - start is taken modulo 2^32 and read as signed, so the wait stays
 * right when the clock wraps. A count of 0 or less returns after the second reading. */
void DELAY_MS(int32_t ms);

#endif
