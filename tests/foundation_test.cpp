/*
 * foundation_test.cpp - loading, KORVA3_INITIAL / KORVA3_END, the PCI scan, card
 * registration and the command link.
 */
#include "sim_fixture.h"

#include <algorithm>

namespace {

const Frame LINK_RESET_1 = {0x55, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x02};
const Frame LINK_TEST_1 = {0x55, 0xAA, 0x40, 0x80, 0x37, 0x46, 0, 0, 0, 0, 0, 0x03, 0xB2};

Bytes both_copies(Frame f)
{
    Bytes b(f.begin(), f.end());
    f[12] = (uint8_t)~f[12];
    b.insert(b.end(), f.begin(), f.end());
    return b;
}

// ---- Start values and KORVA3_INITIAL / KORVA3_END ------------------------------------

TEST(Load, SharedVariablesHoldStartValuesBeforeInitial)
{
    quiet_reset();
    const std::pair<const char *, uint32_t> expected[] = {
        {"card_var", 10},    {"accel", 2},       {"start_speed", 2},
        {"high_speed", 100}, {"spare_var", 30},  {"engine_phase", ENGINE_SETUP},
        {"intp_enabled", 0}, {"step_mode", 0},   {"phase", PHASE_NONE},
        {"total_length", 0}, {"travelled", 0},   {"link_waited", 0},
        {"pci_count", 0},    {"pci_scanned", 0}, {"driver_open", 0},
        {"os_platform", 2},  {"os_major", 5},    {"os_minor", 1}};
    for (auto [name, value] : expected)
        EXPECT_EQ(lib(name), value) << name;
    for (uint32_t card = 0; card < 16; card++)
        EXPECT_EQ(lib("io_base", card) | lib("link_ok", card) | lib("seq", card), 0u);
}

struct InitialCase {
    uint32_t platform, major, minor;
    const char *path; // driver opened, or null for none
};

class InitialByVersion : public ::testing::TestWithParam<InitialCase> {};

TEST_P(InitialByVersion, OpensTheDriverThePlatformNeeds)
{
    const InitialCase c = GetParam();
    for (uint32_t present : {1u, 0u}) {
        quiet_reset();
        KSIM_SET_DRIVER(present);
        KSIM_SET_OS(c.platform, c.major, c.minor);
        take_os_calls();
        uint32_t result = KORVA3_INITIAL();
        std::string calls = take_os_calls();
        if (!c.path) {
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(calls, "");
            EXPECT_EQ(lib("driver_open"), 0u);
        } else {
            EXPECT_EQ(result, present ? 0u : 1u);
            EXPECT_NE(calls.find(std::string("open ") + c.path + " rw=0"), std::string::npos)
                << calls;
            EXPECT_EQ(lib("driver_open"), present);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, InitialByVersion,
    ::testing::Values(InitialCase{1, 4, 10, "\\\\.\\KLEMAT.VXD"},   // Windows 98
                      InitialCase{1, 4, 90, "\\\\.\\KLEMAT.VXD"},   // Me
                      InitialCase{0, 3, 10, "\\\\.\\KLEMAT.VXD"},   // any non-NT platform
                      InitialCase{2, 4, 0, "\\\\.\\klemnt"},        // NT 4.0
                      InitialCase{2, 3, 51, "\\\\.\\klemnt"},       // NT 3.51
                      InitialCase{2, 5, 0, nullptr},                // 2000
                      InitialCase{2, 5, 1, nullptr},                // XP
                      InitialCase{2, 6, 1, nullptr}));              // 7

TEST(Initial, NtFiveLeavesAnOpenHandleAsItWas)
{
    quiet_reset();
    add_card(0, 3, 0);
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u); // XP: opens the card's interface
    ASSERT_EQ(lib("driver_open"), 1u);
    EXPECT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(lib("driver_open"), 1u);
    EXPECT_EQ(KSIM_OPEN_HANDLES(), 1u);
}

TEST(End, ClosesTheHandleOnceAndThenDoesNothing)
{
    quiet_reset();
    KSIM_SET_OS(2, 4, 0);
    KORVA3_END(); // nothing open: nothing happens
    EXPECT_EQ(take_os_calls(), "");
    ASSERT_EQ(KORVA3_INITIAL(), 0u);
    take_os_calls();
    KORVA3_END();
    EXPECT_EQ(take_os_calls(), "close 1\n");
    KORVA3_END();
    EXPECT_EQ(take_os_calls(), "");
    EXPECT_EQ(KSIM_OPEN_HANDLES(), 0u);
}

TEST_F(SimTest, InitialAfterAPathResetsControlButKeepsTravelledAndRecords)
{
    register_card();
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 300, 400, 10, 0), 1u);
    ASSERT_EQ(lib("engine_phase"), ENGINE_RUNNING);
    EXPECT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(lib("engine_phase"), ENGINE_SETUP);
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_EQ(lib("phase"), PHASE_NONE);
    EXPECT_EQ(lib("total_length"), 0u);

    KORVA3_INTP_LINE(0, 30, 40, 10);
    ASSERT_EQ(lib("travelled"), 50u);
    EXPECT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(lib("travelled"), 50u);
    EXPECT_EQ(lib("io_base"), io);
    EXPECT_EQ(lib("link_ok"), 1u);
    EXPECT_EQ(lib("seq"), 3u + take_slices().size());
}

// ---- The clock -----------------------------------------------------------------------

TEST_F(SimTest, DelaysHoldAcrossTheClocksWrap)
{
    register_card();
    KSIM_SET_CLOCK_MS(0xFFFFFFF0u); // wraps 16 ms into the reset's 50 ms hold
    uint32_t before = KSIM_CLOCK_MS();
    KORVA3_RESET_SYSTEM(0); // 50 ms, then 10 ms
    uint32_t elapsed = KSIM_CLOCK_MS() - before;
    EXPECT_GE(elapsed, 60u);
    EXPECT_LT(elapsed, 70u);
}

// ---- PCI scan ------------------------------------------------------------------------

TEST(Scan, EntryFieldsComeFromConfigurationSpaceAndTheIdRegister)
{
    quiet_reset();
    KSIM_ADD_CARD(3, 7, KSIM_PCI_VENDOR, 0x0001, 0x4181, 0x0000, 15);
    add_card(3, 2, 0);
    uint32_t e[8];
    ASSERT_EQ(KSIM_LIB_PCI_ENTRY(0, e), 0u); // bus 3 device 2 comes first
    EXPECT_EQ(e[0], KSIM_IO_BASE(1));
    EXPECT_EQ(e[2], KSIM_PCI_SUBVENDOR);
    EXPECT_EQ(e[3], KSIM_PCI_SUBSYSTEM);
    EXPECT_EQ(e[4], 0x50u); // ID_REG bits 4..7 in place
    EXPECT_EQ(e[5], 3u);
    EXPECT_EQ(e[6], 2u);
    EXPECT_EQ(e[7], 0u); // low nibble 0xF read: switch 0
    ASSERT_EQ(KSIM_LIB_PCI_ENTRY(1, e), 0u);
    EXPECT_EQ(e[0], KSIM_IO_BASE(0));
    EXPECT_EQ(e[2], 0x4181u);
    EXPECT_EQ(e[6], 7u);
    EXPECT_EQ(e[7], 15u); // low nibble 0x0 read: switch 15
    EXPECT_LT(e[1], 256u);
    EXPECT_EQ(KSIM_LIB_PCI_ENTRY(2, e), 5u);
}

TEST(Scan, EmptyBusScansAgainOnEveryLookup)
{
    quiet_reset();
    uint32_t e[8];
    for (int i = 0; i < 2; i++) {
        take_writes();
        EXPECT_EQ(KSIM_LIB_PCI_ENTRY(0, e), 5u);
        auto writes = take_writes();
        // 32 buses x 32 devices, two configuration dwords each
        EXPECT_EQ(std::count_if(writes.begin(), writes.end(),
                                [](const PortAccess &w) { return w.port == 0xCF8; }),
                  2048);
        EXPECT_EQ(writes.front(), (PortAccess{0xCF8, 0x80000000u, 32}));
    }
    EXPECT_EQ(lib("pci_scanned"), 0u);
}

struct IdCase {
    uint32_t device, subsys_vendor, subsys_id;
    bool supported;
};

class SupportedIds : public ::testing::TestWithParam<IdCase> {};

TEST_P(SupportedIds, OnlyTheTwoCardsAreTaken)
{
    const IdCase c = GetParam();
    quiet_reset();
    KSIM_SET_OS(2, 4, 0);
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, c.device, c.subsys_vendor, c.subsys_id, 0);
    // another vendor with the supported device and subsystem
    KSIM_ADD_CARD(0, 2, 0x8086, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM, 0);
    KORVA3_INITIAL();
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), c.supported ? 1u : 0u);
    EXPECT_EQ(lib("pci_count"), c.supported ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Combinations, SupportedIds,
                         ::testing::Values(IdCase{0x0002, 0x0081, 0x0004, true},
                                           IdCase{0x0001, 0x4181, 0x0000, true},
                                           IdCase{0x0001, 0x0181, 0x0000, true},
                                           IdCase{0x0001, 0x4181, 0x0001, false},
                                           IdCase{0x0002, 0x0081, 0x0000, false},
                                           IdCase{0x0003, 0x0081, 0x0004, false},
                                           IdCase{0x0001, 0x0081, 0x0004, false}));

TEST(Scan, SixteenCardsFitAndASeventeenthFailsTheScan)
{
    for (uint32_t cards : {16u, 17u}) {
        quiet_reset();
        KSIM_SET_OS(2, 4, 0);
        for (uint32_t i = 0; i < cards; i++)
            ASSERT_EQ(add_card(0, i, i % 16), (int32_t)i);
        KORVA3_INITIAL();
        take_messages();
        if (cards == 16) {
            for (uint32_t n = 0; n < 16; n++) {
                EXPECT_EQ(KORVA3_REGISTRATION(n, 15 - n), 1u) << n;
                EXPECT_EQ(lib("io_base", n), KSIM_IO_BASE(15 - n));
            }
        } else {
            EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
            EXPECT_EQ(lib("io_base", 0), 0u); // record unchanged
            EXPECT_EQ(take_messages(), "");   // a full table is no missing card
        }
        EXPECT_EQ(lib("pci_count"), 16u);
    }
}

// ---- Registration ------------------------------------------------------------------

TEST_F(SimTest, RegistrationSendsTheLinkResetAndLinkTestByteForByte)
{
    take_writes();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    Bytes expected = both_copies(LINK_RESET_1);
    Bytes test = both_copies(LINK_TEST_1);
    expected.insert(expected.end(), test.begin(), test.end());
    EXPECT_EQ(take_bytes(), expected);
    EXPECT_EQ(test[25], 0x4D);
    EXPECT_EQ(lib("seq"), 3u);
    EXPECT_EQ(lib("link_ok"), 1u);
    EXPECT_EQ(lib("do_shadow"), 0u);

    // The card's own registers: the scan's 0 to +2, then 0 and 1 to +0, 0 to +2, and
    // the link reset's 0 to STATUS_REG before the first mailbox byte.
    std::vector<PortAccess> card_writes;
    for (const PortAccess &w : take_writes())
        if (w.port >= io && w.port < io + 192)
            card_writes.push_back(w);
        else if (w.port == io + 196)
            card_writes.push_back(w);
    const std::vector<PortAccess> expected_writes = {
        {uint16_t(io + 2), 0, 8}, {uint16_t(io), 0, 16}, {uint16_t(io), 1, 16},
        {uint16_t(io + 2), 0, 16}, {uint16_t(io + 196), 0, 8}};
    EXPECT_EQ(card_writes, expected_writes);
}

TEST_F(SimTest, SequenceRunsUpToEightyThenStartsAtOne)
{
    register_card();
    KORVA3_SET_NC(0, 1);
    EXPECT_EQ(take_frames().at(0)[11], 4); // the first user command carries 4
    for (int i = 5; i <= 80; i++)
        KORVA3_SET_NC(0, 1);
    auto frames = take_frames();
    ASSERT_EQ(frames.size(), 76u);
    EXPECT_EQ(frames.back()[11], 80);
    KORVA3_SET_NC(0, 1);
    KORVA3_SET_NC(0, 1);
    frames = take_frames();
    EXPECT_EQ(frames[0], make_frame(0x2C, {1}, 1));
    EXPECT_EQ(frames[1][11], 2);
}

TEST_F(SimTest, AControllerReadyAtEveryLookCostsNoDelay)
{
    register_card();
    uint32_t before = KSIM_CLOCK_MS();
    KORVA3_SET_NC(0, 7);
    EXPECT_EQ(KSIM_CLOCK_MS() - before, 0u);
    EXPECT_EQ(lib("link_waited"), 0u);
    // two status reads per byte, nothing else
    auto reads = take_reads();
    EXPECT_EQ(reads.size(), 52u);
    for (const PortAccess &r : reads)
        EXPECT_EQ(r.port, io + 196);
}

TEST_F(SimTest, AHeldUpByteSlowsEveryLaterByteOfTheCommandByFiveMs)
{
    register_card();
    for (uint32_t held : {0u, 13u, 25u}) {
        KSIM_HOLD(0, held);
        uint32_t before = KSIM_CLOCK_MS();
        KORVA3_SET_NC(0, 7);
        uint32_t elapsed = KSIM_CLOCK_MS() - before;
        uint32_t delayed = 26 - held;
        EXPECT_EQ(lib("link_waited"), 1u);
        EXPECT_GE(elapsed, 5 * delayed) << held;
        EXPECT_LE(elapsed, 6 * delayed + 1) << held;
        EXPECT_EQ(take_frames().size(), 1u);
    }
    // The flag stays until the next command clears it.
    KORVA3_GET_SYS(0);
    EXPECT_EQ(lib("link_waited"), 1u);
    KORVA3_SET_NC(0, 7);
    EXPECT_EQ(lib("link_waited"), 0u);
}

TEST_F(SimTest, LinkTestNeedsTheEchoAsThreeBytesInARow)
{
    struct {
        std::vector<uint8_t> offered;
        bool answers;
        uint32_t expected;
    } cases[] = {
        {{0x80, 0x37, 0x37, 0x46}, false, 0},
        {{0x80, 0x37, 0x37, 0x46, 0x80, 0x37, 0x46}, false, 1},
        {{0x12, 0x80, 0x55, 0x37, 0x46}, false, 0},
        {{0x01, 0x02, 0x03}, true, 1}, // junk before the controller's own echo
        {{}, true, 1},
    };
    for (const auto &c : cases) {
        KSIM_SET_LINK(0, c.answers);
        if (!c.offered.empty())
            KSIM_OFFER_ON_LINK_TEST(0, c.offered.data(), (uint32_t)c.offered.size());
        EXPECT_EQ(KORVA3_REGISTRATION(0, 0), c.expected);
        EXPECT_EQ(lib("link_ok"), c.expected);
        // drain whatever the test left
        while (KORVA3_MSC(0) & 0x04)
            KORVA3_GET_CARD(0), KSIM_SET_LINK(0, 1), KORVA3_REGISTRATION(0, 0);
    }
}

TEST_F(SimTest, ASilentControllerFailsTheLinkTestAfterFiveHundredPolls)
{
    KSIM_SET_LINK(0, 0);
    take_reads();
    uint32_t before = KSIM_CLOCK_MS();
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    uint32_t elapsed = KSIM_CLOCK_MS() - before;
    EXPECT_GE(elapsed, 1020u); // 20 ms, then 500 polls 2 ms apart
    EXPECT_LE(elapsed, 1200u);
    size_t status_reads = 0;
    for (const PortAccess &r : take_reads())
        status_reads += r.port == io + 196;
    EXPECT_EQ(status_reads, 2 * 52 + 500u);
    EXPECT_EQ(lib("link_ok"), 0u);
    EXPECT_EQ(lib("io_base"), io); // bound all the same
    EXPECT_EQ(take_messages(), "");
}

TEST(Registration, TwoCardsWithOneIdBothGetTheWritesAndTheLaterOneStays)
{
    quiet_reset();
    int later = add_card(2, 1, 6);  // scanned second
    int earlier = add_card(1, 9, 6); // scanned first
    KSIM_SET_OS(2, 4, 0);
    KORVA3_INITIAL();
    take_writes();
    ASSERT_EQ(KORVA3_REGISTRATION(5, 6), 1u);
    EXPECT_EQ(lib("io_base", 5), KSIM_IO_BASE(later));
    auto writes = take_writes();
    for (int card : {earlier, later}) {
        uint16_t ctrl = (uint16_t)KSIM_IO_BASE(card);
        EXPECT_NE(std::find(writes.begin(), writes.end(), PortAccess{ctrl, 1, 16}),
                  writes.end());
    }
    EXPECT_EQ(take_frames(later).size(), 2u);
    EXPECT_EQ(take_frames(earlier).size(), 0u);
}

TEST(Registration, FailureTable)
{
    // A card with ID 0 bound as card number 0, so "record unchanged" can be seen.
    auto bound_machine = [](uint32_t platform, uint32_t major, uint32_t minor) {
        quiet_reset();
        KSIM_SET_OS(platform, major, minor);
        add_card(0, 3, 0);
        KORVA3_INITIAL();
        EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        take_messages();
        take_writes();
    };

    // No card with the ID: the message box, result 0, record as it was.
    bound_machine(2, 4, 0);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 9), 0u);
    EXPECT_EQ(take_messages(), "DLL: GetCard==0\n");
    EXPECT_EQ(lib("io_base"), KSIM_IO_BASE(0));
    EXPECT_EQ(lib("link_ok"), 1u);
    EXPECT_EQ(lib("seq"), 3u);

    // An ID outside 0..15 never matches.
    EXPECT_EQ(KORVA3_REGISTRATION(0, 16), 0u);
    EXPECT_EQ(take_messages(), "DLL: GetCard==0\n");

    // A full table: no message, record as it was.
    for (uint32_t i = 0; i < 16; i++)
        add_card(1, i, 3);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 3), 0u);
    EXPECT_EQ(take_messages(), "");
    EXPECT_EQ(lib("io_base"), KSIM_IO_BASE(0));

    // Bound, but the link test fails: bound, link_ok 0.
    bound_machine(2, 4, 0);
    KSIM_SET_LINK(0, 0);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    EXPECT_EQ(lib("link_ok"), 0u);
    EXPECT_EQ(lib("seq"), 3u);
    EXPECT_EQ(take_messages(), "");

    // Windows 2000: no device interface for card number 1 and no handle open: the bus
    // is not scanned.
    quiet_reset();
    KSIM_SET_OS(2, 5, 0);
    add_card(0, 3, 0);
    take_writes();
    EXPECT_EQ(KORVA3_REGISTRATION(1, 0), 0u);
    EXPECT_TRUE(take_writes().empty());
    EXPECT_EQ(take_messages(), "");
    EXPECT_EQ(lib("io_base", 1), 0u);
}

TEST(Registration, OnXpCardNumberNOpensTheNthInterfaceWhateverItsId)
{
    quiet_reset();
    add_card(0, 3, 7);
    add_card(0, 4, 3);
    KORVA3_INITIAL();
    take_os_calls();
    ASSERT_EQ(KORVA3_REGISTRATION(1, 7), 1u);
    std::string calls = take_os_calls();
    EXPECT_NE(calls.find("interface 1 -> "), std::string::npos) << calls;
    EXPECT_NE(calls.find("#1#{808abaf9"), std::string::npos) << calls;
    EXPECT_EQ(lib("io_base", 1), KSIM_IO_BASE(0)); // the ID match is made separately

    // Card number 2 has no interface, but the handle left open lets registration on.
    ASSERT_EQ(KORVA3_REGISTRATION(2, 3), 1u);
    // Card number 0's interface replaces the handle, and the earlier one is closed: a
    // program registering over and over holds one handle.
    take_os_calls();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 3), 1u);
    calls = take_os_calls();
    EXPECT_LT(calls.find("interface 0 -> "), calls.find("close 1\n")) << calls;
    EXPECT_LT(calls.find("close 1\n"), calls.find("open ")) << calls;
    EXPECT_EQ(KSIM_OPEN_HANDLES(), 1u);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(KORVA3_REGISTRATION(i % 2, i % 2 ? 7 : 3), 1u);
    EXPECT_EQ(KSIM_OPEN_HANDLES(), 1u);
    KORVA3_END();
    EXPECT_EQ(KSIM_OPEN_HANDLES(), 0u);
}

TEST(Registration, ADevicePathThatDoesNotFitTheBufferIsNoInterface)
{
    for (size_t length : {259u, 260u}) {
        quiet_reset();
        add_card(0, 3, 0);
        std::string path = "\\\\?\\pci#" + std::string(length - 8, 'x');
        ASSERT_EQ(path.size(), length);
        KSIM_SET_DEVICE_PATH(0, path.c_str());
        KORVA3_INITIAL();
        EXPECT_EQ(KORVA3_REGISTRATION(0, 0), length < 260 ? 1u : 0u) << length;
    }
}

TEST(Registration, OtherSystemsSkipTheDeviceInterface)
{
    const uint32_t versions[][3] = {{1, 4, 10}, {2, 4, 0}, {2, 5, 2}, {2, 6, 1}};
    for (auto v : versions) {
        quiet_reset();
        KSIM_SET_OS(v[0], v[1], v[2]);
        add_card(0, 3, 0);
        KORVA3_INITIAL();
        take_os_calls();
        EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        EXPECT_EQ(take_os_calls().find("interface"), std::string::npos);
    }
}

// ---- Card numbers that reach no card -------------------------------------------------

TEST_F(SimTest, CardNumbersSixteenAndAboveAreRefusedEverywhere)
{
    register_card();
    for (uint32_t card : {16u, 255u, 0x110u /* low byte 16 */}) {
        EXPECT_EQ(KORVA3_REGISTRATION(card, 0), 0u);
        EXPECT_EQ(take_messages(), "");
    }
    // 0x100 has low byte 0: that is card number 0.
    EXPECT_EQ(KORVA3_DI(0x100), 0u);
    EXPECT_EQ(take_reads().size(), 1u);
}

TEST_F(SimTest, CardsThatWereNeverBoundAreNeverTouched)
{
    register_card();
    for (uint32_t card : {3u, 16u, 200u}) {
        KORVA3_SET_NC(card, 1);
        KORVA3_SET_VAR(card, 10, 2, 2, 100, 30);
        KORVA3_PULSE_MOVE(card, 1, 100, 10);
        KORVA3_INTP_PULSE(card, 1, 1, 1);
        KORVA3_DO(card, 1);
        KORVA3_RESET_SYSTEM(card);
        KORVA3_EMG_STOP(card);
        KORVA3_WAIT_X(card);
        KORVA3_INTP_LINE(card, 100, 100, 10);
        KORVA3_INTP_CIRCLE(card, 100, 0, 1, 10);
        EXPECT_EQ(KORVA3_INTP_LINE02(card, 1, 10, 10, 10, 0), 0u);
        EXPECT_EQ(KORVA3_DI(card), 0u);
        EXPECT_EQ(KORVA3_MSC(card), 0u);
        EXPECT_EQ(KORVA3_IS_X_STOP(card), 0u);
        EXPECT_EQ(KORVA3_GET_CARD(card), 0u);
        EXPECT_EQ(KORVA3_GET_XC(card), 0);
        EXPECT_TRUE(take_writes().empty()) << card;
        EXPECT_TRUE(take_reads().empty()) << card;
    }
    EXPECT_EQ(lib("seq"), 3u);
}

} // namespace
