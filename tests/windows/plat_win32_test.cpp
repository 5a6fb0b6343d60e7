/*
 * plat_win32_test.cpp - the Windows backend (src/platform/win32) on its own, linked
 * into this program without the library: the calls no path of korva32.dll can reach
 * on a machine without the card (the message box), and the port-access probe.
 *
 * MessageBoxA is this program's own import here; the test puts a recording function in
 * its place, so the message is seen as the backend passed it and no window opens.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win_test_util.h" /* <windows.h> first */

#include <mmsystem.h>

#include "port/platform.h"

/* The library's hook, which the backend's DllMain calls: not linked here. */
extern "C" void core_process_attach(void) {}

namespace {

std::vector<std::string> boxes;

int WINAPI record_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    char line[512];
    wsprintfA(line, "%s|%s|owner=%lX|type=%X", caption, text, (unsigned long)(uintptr_t)owner, type);
    boxes.push_back(line);
    return IDOK;
}

TEST(Win32Backend, AMessageIsABoxWithoutOwnerAndWithAnOkButton)
{
    ASSERT_NE(replace_import(GetModuleHandleA(NULL), "USER32.dll", "MessageBoxA", (void *)record_box),
              nullptr);
    plat_message_box("GetCard==0", "DLL");
    EXPECT_EQ(boxes, std::vector<std::string>{"DLL|GetCard==0|owner=0|type=0"});
}

TEST(Win32Backend, TheSystemVersionIsGetVersionExA)
{
    uint32_t platform = 9, major = 9, minor = 9;
    plat_os_version(&platform, &major, &minor);
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(platform, info.dwPlatformId);
    EXPECT_EQ(major, info.dwMajorVersion);
    EXPECT_EQ(minor, info.dwMinorVersion);
}

TEST(Win32Backend, TheClockIsTimeGetTime)
{
    uint32_t before = timeGetTime();
    uint32_t ms = plat_clock_ms();
    uint32_t after = timeGetTime();
    EXPECT_LE(ms - before, after - before);
}

TEST(Win32Backend, DevicesOpenAndCloseAndMissingOnesAreRefused)
{
    EXPECT_EQ(plat_open_device("\\\\.\\klemnt", 0), PLAT_INVALID_HANDLE);
    EXPECT_EQ(plat_open_device("\\\\.\\KLEMAT.VXD", 0), PLAT_INVALID_HANDLE);
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    lstrcatA(path, "korva_plat_test.tmp");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    plat_handle h = plat_open_device(path, 1);
    EXPECT_NE(h, PLAT_INVALID_HANDLE);
    /* Opened without sharing: nobody else gets in while it is open. */
    EXPECT_EQ(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          OPEN_EXISTING, 0, NULL),
              INVALID_HANDLE_VALUE);
    plat_close_handle(h);
    plat_close_handle(PLAT_INVALID_HANDLE); /* failures are ignored */
    DeleteFileA(path);
}

TEST(Win32Backend, NoCardInterfaceHere)
{
    char path[260] = "unchanged";
    EXPECT_EQ(plat_find_card_interface(0, path, sizeof path), 0);
    EXPECT_STREQ(path, "unchanged");
}

TEST(Win32Backend, PortsAreProbedOnceUntilAccessMayHaveChanged)
{
    /* Here (Wine, or Windows NT without a driver) the probe's read faults. */
    PortFaultCounter faults(GetModuleHandleA(NULL));
    int first = plat_ports_usable();
    LONG probes = faults.count();
    EXPECT_EQ(first, probes == 0 ? 1 : 0);
    for (int i = 0; i < 100; i++)
        EXPECT_EQ(plat_ports_usable(), first);
    EXPECT_EQ(faults.count(), probes) << "the answer is kept";

    /* Opening or closing a device may change the access: asked again. */
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    lstrcatA(path, "korva_plat_probe.tmp");
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    plat_handle h = plat_open_device(path, 0);
    ASSERT_NE(h, PLAT_INVALID_HANDLE);
    EXPECT_EQ(plat_ports_usable(), first);
    EXPECT_EQ(faults.count(), 2 * probes);
    plat_close_handle(h);
    EXPECT_EQ(plat_ports_usable(), first);
    EXPECT_EQ(faults.count(), 3 * probes);
    DeleteFileA(path);
}

} // namespace
