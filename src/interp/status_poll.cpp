/*
 * status_poll.cpp - KORVA3_GET_CARD: the status poll, which first runs the saved stepwise
 * request on (an application's polling loop is what drives a stepwise path), then drains
 * the card's status frames (link/status_frame.cpp).
 */
#include "interp/step_dispatch.h"
#include "korva3.h"
#include "link/status_frame.h"
#include "state/card_table.h"

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_GET_CARD(uint32_t card)
{
    CARD_RECORD *rec = bound_card(card);
    if (!rec || !rec->link_ok)
        return 0;

    INTP_DISPATCH();
    return drain_status_frames(rec);
}
