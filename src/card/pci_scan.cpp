/*
 * pci_scan.cpp - SCAN_PCI and GET_PCI_CARD.
 *
 * A configuration dword is addressed by writing 0x80000000 | bus<<16 | device<<11 |
 * function<<8 | dword<<2 to 0xCF8; 16-bit reads of 0xCFC and 0xCFE then return its low
 * and high halves.
 */
#include "card/pci_scan.h"

#include <string.h>

#include "port/card_regs.h"
#include "port/platform.h"

PCI_CARD_ENTRY pci_table[PCI_TABLE_SIZE];
uint32_t pci_count;
uint32_t pci_scanned;

enum { PCI_BUSES = 32, PCI_DEVICES = 32 };

/* Configuration dwords read by the scan. */
enum { CFG_ID = 0, CFG_BAR0 = 4, CFG_SUBSYSTEM = 11, CFG_INTERRUPT = 15 };

static void pci_address(uint32_t bus, uint32_t device, uint32_t dword)
{
    const uint32_t function = 0;
    plat_out32(PCI_CONFIG_ADDRESS,
               0x80000000u | bus << 16 | device << 11 | function << 8 | dword << 2);
}

/* The two supported cards: one vendor with these device/subsystem combinations. */
static int is_supported(uint16_t vendor, uint16_t device, uint16_t ss_vendor, uint16_t ss_id)
{
    if (vendor != CARD_VENDOR_ID)
        return 0;
    if (device == CARD_DEVICE_ID)
        return ss_vendor == CARD_SUBSYS_VENDOR && ss_id == CARD_SUBSYS_ID;
    if (device == CARD_DEVICE_ID_B)
        return (ss_vendor == CARD_SUBSYS_VENDOR_B || ss_vendor == CARD_SUBSYS_VENDOR_B_ALT) &&
               ss_id == CARD_SUBSYS_ID_B;
    return 0;
}

uint32_t SCAN_PCI(void)
{
    pci_count = 0;
    for (uint32_t bus = 0; bus < PCI_BUSES; bus++) {
        for (uint32_t dev = 0; dev < PCI_DEVICES; dev++) {
            pci_address(bus, dev, CFG_ID);
            uint16_t vendor = plat_in16(PCI_CONFIG_DATA_LO);
            uint16_t device = plat_in16(PCI_CONFIG_DATA_HI);
            pci_address(bus, dev, CFG_SUBSYSTEM);
            uint16_t ss_vendor = plat_in16(PCI_CONFIG_DATA_LO);
            uint16_t ss_id = plat_in16(PCI_CONFIG_DATA_HI);
            if (!is_supported(vendor, device, ss_vendor, ss_id))
                continue;

            PCI_CARD_ENTRY e;
            pci_address(bus, dev, CFG_BAR0);
            e.io_base = plat_in16(PCI_CONFIG_DATA_LO) & 0xFFFEu;
            plat_out8(card_port(e.io_base, AUX_REG), 0);
            e.id_high = plat_in16(card_port(e.io_base, ID_REG)) & 0xF0u;
            e.card_id = ~(uint32_t)plat_in16(card_port(e.io_base, ID_REG)) & 0x0Fu;
            pci_address(bus, dev, CFG_INTERRUPT);
            e.irq = plat_in16(PCI_CONFIG_DATA_LO) & 0xFFu;
            e.subsys_vendor = ss_vendor;
            e.subsys_id = ss_id;
            e.bus = bus;
            e.device = dev;

            if (pci_count == PCI_TABLE_SIZE)
                return PCI_TABLE_FULL;
            pci_table[pci_count++] = e;
            pci_scanned = 1;
        }
    }
    return PCI_OK;
}

uint32_t GET_PCI_CARD(uint32_t index, uint32_t *io_base, uint32_t *irq,
                      uint32_t *subsys_vendor, uint32_t *subsys_id, uint32_t *id_high,
                      uint32_t *bus, uint32_t *device, uint32_t *card_id)
{
    if (!pci_scanned && SCAN_PCI() != PCI_OK)
        return PCI_SCAN_FAILED;
    if (index >= pci_count)
        return PCI_NO_ENTRY;
    const PCI_CARD_ENTRY *e = &pci_table[index];
    *io_base = e->io_base;
    *irq = e->irq;
    *subsys_vendor = e->subsys_vendor;
    *subsys_id = e->subsys_id;
    *id_high = e->id_high;
    *bus = e->bus;
    *device = e->device;
    *card_id = e->card_id;
    return PCI_OK;
}

void pci_table_clear(void)
{
    memset(pci_table, 0, sizeof pci_table);
    pci_count = 0;
    pci_scanned = 0;
}
