/*
 * registration.cpp - KORVA3_REGISTRATION: binds a card number to the card whose ID
 * switch matches, writes its start registers and tests the link.
 */
#include <stdint.h>

#include "card/pci_scan.h"
#include "korva3.h"
#include "link/command_frame.h"
#include "port/card_regs.h"
#include "port/platform.h"
#include "state/card_table.h"
#include "state/intp_state.h"
#include "state/step_request.h"
#include "state/system_state.h"

enum { DEVICE_PATH_SIZE = 260 }; /* characters, the terminating zero included */

/* On Windows 2000 and XP the card's device interface takes the place of the
 * port-access driver: card number n opens the n-th present interface of the class.
 * The library holds one handle: the one a new interface replaces is closed first (it
 * is never used again; kept, every registration would cost the process a handle). */
static void open_card_interface(uint32_t card)
{
    char path[DEVICE_PATH_SIZE];
    if (!plat_find_card_interface(card, path, sizeof path))
        return; /* none: the handle held stays */
    if (driver_handle != PLAT_INVALID_HANDLE)
        plat_close_handle(driver_handle);
    driver_handle = plat_open_device(path, 1);
}

static int uses_card_interface(void)
{
    return os_platform == 2 && os_major == 5 && (os_minor == 0 || os_minor == 1);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_REGISTRATION(uint32_t card, uint32_t id)
{
    CARD_RECORD *rec = card_slot(card);
    if (!rec)
        return 0; /* no record for card numbers of 16 or more */

    if (uses_card_interface()) {
        open_card_interface((uint8_t)card);
        if (driver_handle == PLAT_INVALID_HANDLE)
            return 0;
    }

    /* Where nothing grants port access, the scan's first port access would fault. */
    if (!plat_ports_usable())
        return 0;
    if (SCAN_PCI() != PCI_OK)
        return 0;

    int found = 0;
    for (uint32_t i = 0; i < pci_count; i++) {
        uint32_t io_base, irq, ss_vendor, ss_id, id_high, bus, device, card_id;
        GET_PCI_CARD(i, &io_base, &irq, &ss_vendor, &ss_id, &id_high, &bus, &device,
                     &card_id);
        if (card_id != id)
            continue;
        rec->io_base = io_base;
        rec->do_shadow.store(0, std::memory_order_relaxed);
        rec->seq.store(1, std::memory_order_relaxed);
        rec->rx_prev = 0;
        rec->rx_last = 0;
        plat_out16(card_port(io_base, CTRL_REG), 0);
        plat_out16(card_port(io_base, CTRL_REG), 1);
        plat_out16(card_port(io_base, AUX_REG), 0);
        found = 1; /* the last match in scan order stays bound */
    }
    if (!found) {
        plat_message_box("GetCard==0", "DLL");
        return 0;
    }

    uint8_t ok = CHECK_LINK(card);
    intp_enabled.store(0);
    step_request.step_mode.store(0);
    intp.engine_phase = ENGINE_SETUP;
    rec->link_ok = ok;
    return ok;
}
