/*
 * null_bus.cpp - a platform backend for benchmarks: one card at bus 0, device 0, whose
 * controller is ready at every look and costs nothing. It answers the scan and the link
 * test and counts port accesses; everything else is free.
 */
#include "null_bus.h"

#include "port/card_regs.h"
#include "port/platform.h"

uint64_t null_bus_accesses;
uint64_t null_bus_data_writes;

static const uint16_t IO_BASE = 0xC000;
static uint32_t config_address;
static uint32_t clock_ms;
static const uint8_t LINK_ECHO[] = {0x80, 0x37, 0x46};
static unsigned echo_left = sizeof LINK_ECHO;

static uint32_t config_dword(void)
{
    uint32_t bus_device = config_address & 0x00FFF800u;
    if (bus_device != 0)
        return 0xFFFFFFFFu; /* only bus 0, device 0 */
    switch ((config_address >> 2) & 0x3F) {
    case 0: return 0x0002E159u;
    case 4: return IO_BASE | 1u;
    case 11: return 0x00040081u;
    case 15: return 11u;
    default: return 0;
    }
}

void plat_out8(uint16_t port, uint8_t)
{
    null_bus_accesses++;
    if (port == IO_BASE + DATA_REG)
        null_bus_data_writes++;
}
void plat_out16(uint16_t, uint16_t) { null_bus_accesses++; }

void plat_out32(uint16_t port, uint32_t value)
{
    null_bus_accesses++;
    if (port == PCI_CONFIG_ADDRESS)
        config_address = value;
}

uint8_t plat_in8(uint16_t port)
{
    null_bus_accesses++;
    if (port == IO_BASE + STATUS_REG)
        return echo_left ? ST_TX_READY | ST_RX_READY : ST_TX_READY;
    if (port == IO_BASE + DATA_REG && echo_left)
        return LINK_ECHO[sizeof LINK_ECHO - echo_left--];
    return 0;
}

uint16_t plat_in16(uint16_t port)
{
    null_bus_accesses++;
    if (port == PCI_CONFIG_DATA_LO)
        return (uint16_t)config_dword();
    if (port == PCI_CONFIG_DATA_HI)
        return (uint16_t)(config_dword() >> 16);
    if (port == IO_BASE + ID_REG)
        return 0x0F; /* ID switch 0, inverted */
    return 0xFFFF;
}

int plat_ports_usable(void) { return 1; }
uint32_t plat_clock_ms(void) { return clock_ms++; }

void plat_os_version(uint32_t *platform, uint32_t *major, uint32_t *minor)
{
    *platform = 2;
    *major = 4;
    *minor = 0;
}

plat_handle plat_open_device(const char *, int) { return 1; }
void plat_close_handle(plat_handle) {}
int plat_find_card_interface(uint32_t, char *, size_t) { return 0; }
void plat_message_box(const char *, const char *) {}
