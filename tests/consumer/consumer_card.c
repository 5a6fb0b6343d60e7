/* consumer_card.c - a program of the real card links against korva32. Built only, never
 * run: on a machine with port access it would scan the PCI bus. */
#include <korva3.h>

int main(void)
{
    uint32_t(KORVA3_CALL * initial)(void) = KORVA3_INITIAL;
    void(KORVA3_CALL * end)(void) = KORVA3_END;
    return initial && end && KORVA3_VERSION_MAJOR >= 1 ? 0 : 1;
}
