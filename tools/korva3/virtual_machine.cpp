// virtual_machine.cpp - the tool on the virtual machine of korva32sim: sets the machine
// up, lets virtual time pass, and reads back what the cards received and did.
#include "machine.h"

#include "korva3_sim.h"

namespace korva3_tool::machine {

namespace {

// PCI identity of a supported card.
constexpr uint32_t kVendor = 0xE159, kDevice = 0x0002, kSubVendor = 0x0081, kSubsys = 0x0004;

int card_count = 0;

// The library's card number whose I/O base is the virtual card's, or -1.
int card_number_of(int index)
{
    uint32_t base = KSIM_IO_BASE(index);
    for (uint32_t n = 0; n < 16 && base != 0; n++)
        if (KSIM_LIB_VALUE("io_base", n) == base)
            return static_cast<int>(n);
    return -1;
}

int index_of(uint32_t card)
{
    for (int i = 0; i < card_count; i++)
        if (card_number_of(i) == static_cast<int>(card))
            return i;
    return -1;
}

} // namespace

bool is_virtual() { return true; }

const char *kind() { return "virtual card"; }

bool setup(const MachineSetup &s, std::string &error)
{
    KSIM_RESET();
    card_count = 0;
    if (s.slice_us >= 0)
        KSIM_SET_SLICE_PERIOD_US(-1, static_cast<uint32_t>(s.slice_us));
    if (s.queue_size >= 0)
        KSIM_SET_QUEUE_SIZE(-1, static_cast<uint32_t>(s.queue_size));
    for (const CardPlace &c : s.cards) {
        if (KSIM_ADD_CARD(c.bus, c.device, kVendor, kDevice, kSubVendor, kSubsys, c.id_switch) <
            0) {
            error = "cannot put a card at bus " + std::to_string(c.bus) + " device " +
                    std::to_string(c.device) + " (bus and device 0..31, one card a place)";
            return false;
        }
        card_count++;
    }
    take_activity(); // forget what setting up left in the records
    return true;
}

uint32_t clock_ms() { return KSIM_CLOCK_MS(); }

void sleep_ms(uint32_t ms) { KSIM_ADVANCE_MS(ms); }

std::vector<CardActivity> take_activity()
{
    KSIM_TAKE_PORT_WRITES(nullptr, nullptr, nullptr, UINT32_MAX);
    KSIM_TAKE_PORT_READS(nullptr, nullptr, nullptr, UINT32_MAX);
    std::vector<CardActivity> out;
    for (int i = 0; i < card_count; i++) {
        CardActivity a;
        a.index = i;
        a.card = card_number_of(i);
        static uint8_t bytes[65536];
        while (KSIM_TAKE_BYTES(i, bytes, sizeof bytes) == sizeof bytes) {
        }
        RawFrame frames[1024];
        uint32_t n;
        do {
            n = KSIM_TAKE_FRAMES(i, frames[0].data(), 1024);
            a.frames.insert(a.frames.end(), frames, frames + n);
        } while (n == 1024);
        int32_t records[4 * 1024];
        do {
            n = KSIM_TAKE_MOTION(i, records, 1024);
            for (uint32_t k = 0; k < n; k++)
                a.motion.push_back({static_cast<uint32_t>(records[4 * k]), records[4 * k + 1],
                                    records[4 * k + 2], records[4 * k + 3]});
        } while (n == 1024);
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<std::array<int32_t, 3>> card_positions()
{
    std::vector<std::array<int32_t, 3>> out;
    for (int i = 0; i < card_count; i++)
        out.push_back({KSIM_POSITION(i, 1), KSIM_POSITION(i, 2), KSIM_POSITION(i, 3)});
    return out;
}

bool position(uint32_t card, std::array<int32_t, 3> &xyz)
{
    int i = index_of(card);
    if (i < 0)
        return false;
    xyz = {KSIM_POSITION(i, 1), KSIM_POSITION(i, 2), KSIM_POSITION(i, 3)};
    return true;
}

} // namespace korva3_tool::machine
