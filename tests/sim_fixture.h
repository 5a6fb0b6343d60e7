/*
 * sim_fixture.h - what every test of the library on the virtual machine shares: a
 * fresh machine per test, and readers for what the card received.
 */
#ifndef KORVA_TESTS_SIM_FIXTURE_H
#define KORVA_TESTS_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "korva3.h"
#include "korva3_sim.h"

using Frame = std::array<uint8_t, 13>;
using Bytes = std::vector<uint8_t>;

/* A command frame as the card must see it: 55 AA cmd p1..p8 seq check. */
inline Frame make_frame(uint8_t cmd, std::array<uint8_t, 8> p, uint8_t seq)
{
    Frame f{0x55, 0xAA, cmd};
    uint8_t check = seq ^ cmd;
    for (int i = 0; i < 8; i++) {
        f[3 + i] = p[i];
        check ^= p[i];
    }
    f[11] = seq;
    f[12] = check;
    return f;
}

inline std::vector<Frame> take_frames(int index = 0)
{
    std::vector<Frame> out;
    Frame buf[64];
    for (;;) {
        uint32_t n = KSIM_TAKE_FRAMES(index, buf[0].data(), 64);
        out.insert(out.end(), buf, buf + n);
        if (n < 64)
            return out;
    }
}

inline Bytes take_bytes(int index = 0)
{
    Bytes out;
    uint8_t buf[4096];
    for (;;) {
        uint32_t n = KSIM_TAKE_BYTES(index, buf, sizeof buf);
        out.insert(out.end(), buf, buf + n);
        if (n < sizeof buf)
            return out;
    }
}

struct PortAccess {
    uint16_t port;
    uint32_t value;
    uint8_t width;
    bool operator==(const PortAccess &o) const
    {
        return port == o.port && value == o.value && width == o.width;
    }
};

inline std::ostream &operator<<(std::ostream &os, const PortAccess &a)
{
    return os << "{0x" << std::hex << a.port << ", 0x" << a.value << std::dec << ", "
              << int(a.width) << "}";
}

template <class Take>
std::vector<PortAccess> take_accesses(Take take)
{
    std::vector<PortAccess> out;
    enum { N = 4096 };
    static uint16_t ports[N];
    static uint32_t values[N];
    static uint8_t widths[N];
    for (;;) {
        uint32_t n = take(ports, values, widths, N);
        for (uint32_t i = 0; i < n; i++)
            out.push_back({ports[i], values[i], widths[i]});
        if (n < N)
            return out;
    }
}

inline std::vector<PortAccess> take_writes() { return take_accesses(KSIM_TAKE_PORT_WRITES); }
inline std::vector<PortAccess> take_reads() { return take_accesses(KSIM_TAKE_PORT_READS); }

inline std::string take_messages()
{
    char text[4096];
    KSIM_TAKE_MESSAGES(text, sizeof text);
    return text;
}

inline std::string take_os_calls()
{
    char text[8192];
    KSIM_TAKE_OS_CALLS(text, sizeof text);
    return text;
}

inline uint32_t lib(const char *name, uint32_t index = 0)
{
    return KSIM_LIB_VALUE(name, index);
}

/* What lib("phase") and lib("engine_phase") read: no path yet, a path running, the path
 * finished or aborted; the next engine call sets a path up, or runs its slices. */
enum : uint32_t { PHASE_NONE = 0u, PHASE_RUNNING = 1u, PHASE_FINISHED = 2u };
enum : uint32_t { ENGINE_SETUP = 1u, ENGINE_RUNNING = 2u };

/* One interpolation slice as the card received it. */
struct Slice {
    int x, y, z;
    bool operator==(const Slice &o) const { return x == o.x && y == o.y && z == o.z; }
};

inline std::ostream &operator<<(std::ostream &os, const Slice &s)
{
    return os << "(" << s.x << ", " << s.y << ", " << s.z << ")";
}

inline int slice_value(uint8_t hi, uint8_t lo)
{
    int magnitude = (hi & 0x07) << 8 | lo;
    return (hi & 0x80) ? -magnitude : magnitude;
}

/* The interpolation slices among the frames card `index` received since the last take
 * (other frames are dropped). */
inline std::vector<Slice> take_slices(int index = 0)
{
    std::vector<Slice> out;
    for (const Frame &f : take_frames(index))
        if (f[2] == 0x10)
            out.push_back({slice_value(f[3], f[4]), slice_value(f[5], f[6]),
                           slice_value(f[7], f[8])});
    return out;
}

/* A fresh machine whose cards are ideal and quiet: slices take effect the moment they
 * arrive (the card never holds the host up by itself) and no status report comes
 * unasked, so the bytes a test sees are only those it caused. */
inline void quiet_reset()
{
    KSIM_RESET();
    KSIM_SET_SLICE_PERIOD_US(-1, 0);
    KSIM_SET_STATUS_PERIOD_MS(-1, 0);
}

/* Adds a card with the PCI IDs of korva3_sim.h at bus/device; the card's index or -1. */
inline int32_t add_card(uint32_t bus, uint32_t device, uint32_t id_switch)
{
    return KSIM_ADD_CARD(bus, device, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                         KSIM_PCI_SUBSYSTEM, id_switch);
}

/* A quiet machine with card 0 (ID switch 0) bound as card number 0, its controller not
 * answering the link test: registration binds it with link_ok 0. */
inline void bind_card_without_link()
{
    quiet_reset();
    add_card(0, 3, 0);
    KSIM_SET_LINK(0, 0);
    KORVA3_INITIAL();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
}

/* A fresh machine with one supported card (index 0, bus 0 device 3, ID switch 0) and
 * the library initialised. Tests register it themselves or through register_card(). */
class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        quiet_reset();
        card_index = add_card(0, 3, 0);
        ASSERT_EQ(card_index, 0);
        io = KSIM_IO_BASE(card_index);
        ASSERT_EQ(KORVA3_INITIAL(), 0u);
    }

    /* Registers card number 0 on the card and forgets what registration sent. */
    void register_card()
    {
        ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        take_frames();
        take_bytes();
        take_writes();
        take_reads();
        take_os_calls();
    }

    int card_index = -1;
    uint32_t io = 0;
};

#endif
