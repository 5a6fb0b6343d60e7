/*
 * pci_scan.h - finding the supported cards on the PCI bus (configuration mechanism #1)
 * and the table of cards found.
 */
#ifndef KORVA_PCI_SCAN_H
#define KORVA_PCI_SCAN_H

#include <stdint.h>

enum { PCI_TABLE_SIZE = 16 };

/* PCI identity of the supported cards: one vendor, two device/subsystem combinations
 * (the second with either of two subsystem vendors). */
enum : uint16_t {
    CARD_VENDOR_ID = 0xE159,
    CARD_DEVICE_ID = 0x0002, CARD_SUBSYS_VENDOR = 0x0081, CARD_SUBSYS_ID = 0x0004,
    CARD_DEVICE_ID_B = 0x0001, CARD_SUBSYS_VENDOR_B = 0x4181, CARD_SUBSYS_VENDOR_B_ALT = 0x0181,
    CARD_SUBSYS_ID_B = 0x0000,
};

/* Results of SCAN_PCI and GET_PCI_CARD. */
enum { PCI_OK = 0, PCI_SCAN_FAILED = 3, PCI_TABLE_FULL = 5, PCI_NO_ENTRY = 5 };

struct PCI_CARD_ENTRY {
    uint32_t io_base;       /* BAR0, low 16 bits, bit 0 cleared */
    uint32_t irq;           /* interrupt line */
    uint32_t subsys_vendor;
    uint32_t subsys_id;
    uint32_t id_high;       /* ID_REG AND 0xF0 */
    uint32_t bus;           /* 0..31 */
    uint32_t device;        /* 0..31 */
    uint32_t card_id;       /* ID switch, 0..15 */
};

extern PCI_CARD_ENTRY pci_table[PCI_TABLE_SIZE];
extern uint32_t pci_count;   /* valid entries, 0..16 */
extern uint32_t pci_scanned; /* set once a scan has stored a card */

/* Scans buses 0..31, devices 0..31 (function 0). 0 = done; 5 = a 17th card was found. */
uint32_t SCAN_PCI(void);

/* Copies entry `index` (scanning first when no scan has found a card yet).
 * 0 = copied; 3 = the needed scan failed; 5 = index not below pci_count. */
uint32_t GET_PCI_CARD(uint32_t index, uint32_t *io_base, uint32_t *irq,
                      uint32_t *subsys_vendor, uint32_t *subsys_id, uint32_t *id_high,
                      uint32_t *bus, uint32_t *device, uint32_t *card_id);

/* Empties the table as at load. */
void pci_table_clear(void);

#endif
