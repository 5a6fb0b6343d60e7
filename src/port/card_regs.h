/*
 * card_regs.h - the card's I/O registers (offsets from its I/O base), the status bits
 * of its mailbox, and the PCI configuration ports.
 */
#ifndef KORVA_CARD_REGS_H
#define KORVA_CARD_REGS_H

#include <stdint.h>

/* Offsets from the card's I/O base. */
enum {
    CTRL_REG   = 0,   /* 16-bit write: control word (0, then 1, at registration) */
    AUX_REG    = 2,   /* 8/16-bit write: 0 before the scan reads ID_REG and at registration */
    ID_REG     = 7,   /* 16-bit read: low nibble = ID switch, inverted; bits 4..7 kept */
    DATA_REG   = 192, /* 8-bit: write = byte to the controller, read = byte from it */
    STATUS_REG = 196, /* 8-bit: mailbox and axis status bits below; write 0 = link reset */
    DIO_REG    = 200  /* 8-bit: read = digital inputs; write = outputs 0..6 and DIO_RESET */
};

/* STATUS_REG bits (0x08 and 0x80 are not used). */
enum {
    ST_BUSY     = 0x01, /* the controller works on a command */
    ST_TX_READY = 0x02, /* it will take a byte at DATA_REG */
    ST_RX_READY = 0x04, /* a byte for the host waits at DATA_REG */
    ST_X_MOVING = 0x10,
    ST_Y_MOVING = 0x20,
    ST_Z_MOVING = 0x40
};

/* DIO_REG bit 7: the controller's reset line. Bits 0..6 are the application's outputs. */
constexpr uint8_t DIO_RESET = 0x80;
constexpr uint8_t DIO_OUTPUTS = 0x7F;

/* PCI configuration mechanism #1. */
enum {
    PCI_CONFIG_ADDRESS = 0xCF8, /* 32-bit write */
    PCI_CONFIG_DATA_LO = 0xCFC, /* 16-bit read: low half of the addressed dword */
    PCI_CONFIG_DATA_HI = 0xCFE  /* 16-bit read: high half */
};

/* The port of register `offset` of a card whose I/O base is io_base (16-bit ports). */
static inline uint16_t card_port(uint32_t io_base, uint32_t offset)
{
    return (uint16_t)(io_base + offset);
}

#endif /* KORVA_CARD_REGS_H */
