// virtual_machine.cpp - the tool on the virtual machine of korva32sim: sets the machine
// up, lets virtual time pass, and reads back what the cards received and did.
#include "machine/machine.h"

#include <algorithm>

#include "korva3_sim.h"

namespace korva3_tool::machine {

namespace {

int cards_added = 0;

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
    for (int i = 0; i < cards_added; i++)
        if (card_number_of(i) == static_cast<int>(card))
            return i;
    return -1;
}

} // namespace

bool is_virtual() { return true; }

const char *kind() { return "virtual card"; }

// Empties the records the tool does not read, so they never pile up.
void drain_records()
{
    KSIM_TAKE_PORT_WRITES(nullptr, nullptr, nullptr, UINT32_MAX);
    KSIM_TAKE_PORT_READS(nullptr, nullptr, nullptr, UINT32_MAX);
    for (int i = 0; i < cards_added; i++) {
        KSIM_TAKE_BYTES(i, nullptr, UINT32_MAX);
        KSIM_TAKE_FRAMES(i, nullptr, UINT32_MAX);
        KSIM_TAKE_MOTION(i, nullptr, UINT32_MAX);
    }
}

bool setup(const MachineSetup &s, std::string &error)
{
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    cards_added = 0;
    if (s.slice_us >= 0)
        KSIM_SET_SLICE_PERIOD_US(-1, static_cast<uint32_t>(s.slice_us));
    if (s.queue_size >= 0)
        KSIM_SET_QUEUE_SIZE(-1, static_cast<uint32_t>(s.queue_size));
    for (const CardPlace &c : s.cards) {
        if (KSIM_ADD_CARD(c.bus, c.device, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                          KSIM_PCI_SUBSYSTEM, c.id_switch) < 0) {
            error = "cannot put a card at bus " + std::to_string(c.bus) + " device " +
                    std::to_string(c.device) + " (bus and device 0..31, one card a place)";
            return false;
        }
        cards_added++;
    }
    drain_records(); // forget what setting up left in the records
    return true;
}

uint32_t clock_ms() { return KSIM_CLOCK_MS(); }

uint32_t clock_view_ms() { return KSIM_CLOCK_VIEW_MS(); }

void sleep_ms(uint32_t ms) { KSIM_ADVANCE_MS(ms); }

void real_time() { KSIM_SET_PACE(100); }

namespace {

void KORVA3_CALL frame_sink(void *user, int32_t index, const uint8_t *bytes)
{
    RawFrame f;
    std::copy(bytes, bytes + f.size(), f.begin());
    static_cast<Observer *>(user)->frame(index, f);
}

void KORVA3_CALL motion_sink(void *user, int32_t index, uint64_t t_us, int32_t x, int32_t y,
                             int32_t z, uint32_t moved_by)
{
    MovedBy by = moved_by == KSIM_MOVED_BY_SLICE  ? MovedBy::Slice
                 : moved_by == KSIM_MOVED_BY_AXIS ? MovedBy::Axis
                                                  : MovedBy::Origin;
    static_cast<Observer *>(user)->moved(index, t_us, x, y, z, by);
}

} // namespace

void watch(Observer *observer)
{
    if (observer)
        KSIM_SET_SINKS(frame_sink, motion_sink, observer);
    else
        KSIM_SET_SINKS(nullptr, nullptr, nullptr);
}

int card_count() { return cards_added; }

int card_number(int index) { return card_number_of(index); }

uint32_t slice_period_us(int index)
{
    return static_cast<uint32_t>(KSIM_CARD_VALUE(index, "slice_period_us", 0));
}

void begin_messages() { KSIM_SET_LOGGING(1); }

std::string end_messages()
{
    static char text[8192];
    std::string all;
    while (KSIM_TAKE_MESSAGES(text, sizeof text) > 0)
        all += text;
    KSIM_SET_LOGGING(0);
    drain_records();
    return all;
}

namespace {

bool known(int index) { return index >= 0 && index < cards_added; }

} // namespace

bool set_limits(int index, uint32_t axis, int32_t low, int32_t high)
{
    if (!known(index))
        return false;
    KSIM_SET_LIMITS(index, axis, low, high);
    return true;
}

bool set_home(int index, uint32_t axis, int32_t position)
{
    if (!known(index))
        return false;
    KSIM_SET_HOME(index, axis, position);
    return true;
}

bool set_inputs(int index, uint32_t value)
{
    if (!known(index))
        return false;
    KSIM_SET_INPUTS(index, value);
    return true;
}

bool set_fault(int index, uint32_t kind, uint32_t n)
{
    if (!known(index))
        return false;
    KSIM_FAULT(index, kind, n);
    return true;
}

bool set_timing(int index, int64_t slice_us, int64_t queue_size, int64_t status_ms)
{
    if (!known(index))
        return false;
    if (slice_us >= 0)
        KSIM_SET_SLICE_PERIOD_US(index, static_cast<uint32_t>(slice_us));
    if (queue_size >= 0)
        KSIM_SET_QUEUE_SIZE(index, static_cast<uint32_t>(queue_size));
    if (status_ms >= 0)
        KSIM_SET_STATUS_PERIOD_MS(index, static_cast<uint32_t>(status_ms));
    return true;
}

std::vector<std::array<int32_t, 3>> card_positions()
{
    std::vector<std::array<int32_t, 3>> out;
    for (int i = 0; i < cards_added; i++)
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
