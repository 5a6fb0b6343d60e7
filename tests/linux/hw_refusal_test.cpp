/*
 * hw_refusal_test.cpp - libkorva32.so (the Linux hardware backend) when the kernel
 * refuses port access: KORVA3_INITIAL reports 1, registration finds nothing, card
 * functions do nothing, and nothing crashes (a port instruction without access would
 * kill the process with SIGSEGV, so a test that passes touched no port).
 *
 * Before the first test, main() takes CAP_SYS_RAWIO out of this process's effective,
 * permitted, inheritable and bounding sets, and checks that iopl(3) is now refused. CI
 * runs as root, where iopl(3) would succeed and the library would scan the real PCI
 * bus: the program stops before any test if the right cannot be given up.
 */
#include <gtest/gtest.h>

#include <errno.h>
#include <linux/capability.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define HAVE_IOPL 1
#else
#define HAVE_IOPL 0
#endif

#include "korva3.h"
#include "../every_card_function.h"

namespace {

/* Gives up CAP_SYS_RAWIO for good. Returns false when it is still held. */
bool give_up_raw_io()
{
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0); /* refused without CAP_SETPCAP: fine */

    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned i = CAP_TO_INDEX(CAP_SYS_RAWIO);
    const uint32_t bit = CAP_TO_MASK(CAP_SYS_RAWIO);
    if ((data[i].effective | data[i].permitted | data[i].inheritable) & bit) {
        data[i].effective &= ~bit;
        data[i].permitted &= ~bit;
        data[i].inheritable &= ~bit;
        if (syscall(SYS_capset, &header, data) != 0)
            return false;
    }
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    return ((data[i].effective | data[i].permitted) & bit) == 0;
}

/* True when this process can no longer be granted port access. */
bool port_access_refused()
{
#if HAVE_IOPL
    if (iopl(3) == 0) {
        iopl(0);
        return false;
    }
#endif
    return true;
}


TEST(LinuxHardwareRefused, PortAccessIsReallyRefused)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    const uint32_t bit = CAP_TO_MASK(CAP_SYS_RAWIO);
    EXPECT_EQ((data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective | data[CAP_TO_INDEX(CAP_SYS_RAWIO)].permitted) & bit, 0u);
    EXPECT_TRUE(port_access_refused());
}

TEST(LinuxHardwareRefused, InitialReportsTheDriverCouldNotBeOpened)
{
    int kernel_said = ENOSYS;
#if HAVE_IOPL
    if (iopl(3) != 0)
        kernel_said = errno; /* EPERM here; ENOSYS on a kernel without iopl */
#endif
    errno = 0;
    EXPECT_EQ(KORVA3_INITIAL(), 1u);
    EXPECT_EQ(errno, kernel_said) << strerror(errno); /* kept for the caller to report */
    EXPECT_EQ(KORVA3_INITIAL(), 1u); /* asking again changes nothing */
    KORVA3_END();
}

TEST(LinuxHardwareRefused, RegistrationFindsNoCardAndShowsNoMessage)
{
    ASSERT_EQ(KORVA3_INITIAL(), 1u);
    testing::internal::CaptureStderr();
    for (uint32_t card : {0u, 1u, 15u, 16u, 255u})
        for (uint32_t id : {0u, 1u, 15u})
            EXPECT_EQ(KORVA3_REGISTRATION(card, id), 0u) << card << " " << id;
    const std::string messages = testing::internal::GetCapturedStderr();
    /* No scan ran, so no "no card carries this ID" message either. */
    EXPECT_EQ(messages, "");
    KORVA3_END();
}

TEST(LinuxHardwareRefused, CardFunctionsDoNothing)
{
    ASSERT_EQ(KORVA3_INITIAL(), 1u);
    testing::internal::CaptureStderr();
    for (uint32_t card : {0u, 7u, 15u, 16u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KORVA3_REGISTRATION(card, 0), 0u);
        EXPECT_EQ(call_every_card_function(card), 0u) << card;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    KORVA3_END();
    /* And the same without KORVA3_INITIAL at all, or after KORVA3_END. */
    EXPECT_EQ(call_every_card_function(0), 0u);
}

TEST(LinuxHardwareRefused, EndWithoutInitialIsHarmless)
{
    KORVA3_END();
    KORVA3_END();
    EXPECT_EQ(KORVA3_INITIAL(), 1u);
    KORVA3_END();
}

} // namespace

int main(int argc, char **argv)
{
    if (!give_up_raw_io() || !port_access_refused()) {
        fprintf(stderr, "korva_hw_refusal_test: cannot give up port access (%s); "
                        "not running the hardware library\n", strerror(errno));
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
