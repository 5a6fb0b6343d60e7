/*
 * hw_dll_test.cpp - korva32.dll, the library over the real card, on the Windows
 * version this program is told it runs on.
 *
 * The same program runs once per version, under a name that says which one
 * (korva_hw_dll_test-win98.exe ... -win7.exe): Wine reports that version to a program of
 * that name (tests/windows/wine_versions.reg). A real system grants no port access to
 * such a program either, and has no card: so every path here is a refusal path.
 *
 * The DLL is the one shipped. The test sees its system calls by putting recording
 * functions in place of its imports (CreateFileA, CloseHandle, MessageBoxA, timeGetTime,
 * and GetProcAddress, through which it finds the SetupDi calls): they pass the call on to the system, or answer it
 * themselves where a test needs a driver or a device interface that this machine lacks.
 * So no message box ever opens a window, and a test sees each message as the DLL
 * passed it. Port instructions are counted as they fault (PortFaultCounter); where the
 * DLL lets one run, Wine makes it fault, so the count is the number of port accesses.
 */
#include <gtest/gtest.h>

#include "win_test_util.h" /* <windows.h> first */

#include <mmsystem.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "korva3.h"
#include "../every_card_function.h"

namespace {

// ---- The Windows version this run stands for --------------------------------------------

struct Version {
    const char *tag;
    DWORD platform, major, minor;
};
const Version VERSIONS[] = {
    {"win98", 1, 4, 10}, {"nt40", 2, 4, 0}, {"win2k", 2, 5, 0}, {"winxp", 2, 5, 1}, {"win7", 2, 6, 1}};

/* The version this program's name asks for, or null when the name names none. */
const Version *intended_version()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string name = path;
    for (const Version &v : VERSIONS)
        if (name.find(std::string("-") + v.tag + ".exe") != std::string::npos)
            return &v;
    return nullptr;
}

OSVERSIONINFOA system_version()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info;
}

/* The driver KORVA3_INITIAL must open here, or null for none. */
const char *driver_path()
{
    OSVERSIONINFOA v = system_version();
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return "\\\\.\\KLEMAT.VXD";
    if (v.dwMajorVersion == 3 || v.dwMajorVersion == 4)
        return "\\\\.\\klemnt";
    return nullptr;
}

/* Whether registration opens the card's device interface here (2000 and XP). */
bool uses_card_interface()
{
    OSVERSIONINFOA v = system_version();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion == 5 &&
           (v.dwMinorVersion == 0 || v.dwMinorVersion == 1);
}

/* Whether a program may execute port instructions here: Windows 95/98/Me let every
 * program do so (Wine emulates them for a 32-bit program told it runs there); the NT
 * family only a program a driver has given access. Found out by one read from port
 * 0x80 with a vectored handler placed last, after any that emulates the instruction:
 * it sees the fault only when nothing else took it, and skips the instruction. */
volatile LONG port_read_faulted;

LONG CALLBACK skip_port_read(EXCEPTION_POINTERS *e)
{
    const BYTE *at = (const BYTE *)e->ExceptionRecord->ExceptionAddress;
    DWORD code = e->ExceptionRecord->ExceptionCode;
    if ((code != EXCEPTION_PRIV_INSTRUCTION && code != EXCEPTION_ACCESS_VIOLATION) || *at != 0xEC)
        return EXCEPTION_CONTINUE_SEARCH;
    port_read_faulted = 1;
#ifdef _WIN64
    e->ContextRecord->Rip += 1; /* in al, dx */
#else
    e->ContextRecord->Eip += 1;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool ports_usable_here()
{
    static int usable = -1;
    if (usable < 0) {
        port_read_faulted = 0;
        PVOID handler = AddVectoredExceptionHandler(0, skip_port_read);
        uint8_t value;
        __asm__ __volatile__("inb %%dx, %%al" : "=a"(value) : "d"(0x80) : "memory");
        (void)value;
        RemoveVectoredExceptionHandler(handler);
        usable = port_read_faulted ? 0 : 1;
    }
    return usable == 1;
}

// ---- The DLL's system calls, recorded ----------------------------------------------------

const GUID CARD_CLASS = {0x808ABAF9, 0xA78B, 0x4EEB, {0x80, 0xCA, 0x8F, 0x0F, 0xA9, 0xA6, 0x16, 0xB2}};
HDEVINFO const FAKE_SET = (HDEVINFO)(uintptr_t)0x5E70;

struct Calls {
    std::vector<std::string> log; /* one line per call, in order */
    std::vector<std::string> messages;
    std::vector<std::string> fake_files;     /* paths CreateFileA opens without the system */
    std::vector<std::string> fake_interfaces; /* present when non-empty */
    long clock_reads = 0;
    uintptr_t next_handle = 0x4B00;
    std::vector<HANDLE> fake_handles;
};
Calls calls;

decltype(&CreateFileA) real_CreateFileA;
decltype(&CloseHandle) real_CloseHandle;
decltype(&SetupDiGetClassDevsA) real_GetClassDevs;
decltype(&SetupDiEnumDeviceInterfaces) real_EnumInterfaces;
decltype(&SetupDiGetDeviceInterfaceDetailA) real_GetDetail;
decltype(&SetupDiDestroyDeviceInfoList) real_DestroyList;
decltype(&timeGetTime) real_timeGetTime;
decltype(&GetProcAddress) real_GetProcAddress;

std::string hex(uintptr_t v)
{
    char buf[32];
    wsprintfA(buf, "%lX", (unsigned long)v);
    return buf;
}

HANDLE WINAPI rec_CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE templ)
{
    calls.log.push_back(std::string("CreateFileA ") + path + " access=" + hex(access) +
                        " share=" + hex(share) + " sa=" + hex((uintptr_t)sa) +
                        " disposition=" + hex(disposition) + " flags=" + hex(flags) +
                        " template=" + hex((uintptr_t)templ));
    for (const std::string &fake : calls.fake_files)
        if (fake == path) {
            HANDLE h = (HANDLE)calls.next_handle;
            calls.next_handle += 4;
            calls.fake_handles.push_back(h);
            return h;
        }
    return real_CreateFileA(path, access, share, sa, disposition, flags, templ);
}

BOOL WINAPI rec_CloseHandle(HANDLE h)
{
    calls.log.push_back("CloseHandle " + hex((uintptr_t)h));
    for (HANDLE fake : calls.fake_handles)
        if (fake == h)
            return TRUE;
    return real_CloseHandle(h);
}

HDEVINFO WINAPI rec_GetClassDevs(const GUID *guid, PCSTR enumerator, HWND parent, DWORD flags)
{
    calls.log.push_back(std::string("SetupDiGetClassDevsA class=") +
                        (guid && IsEqualGUID(*guid, CARD_CLASS) ? "card" : "other") +
                        " enumerator=" + hex((uintptr_t)enumerator) + " parent=" +
                        hex((uintptr_t)parent) + " flags=" + hex(flags));
    if (!calls.fake_interfaces.empty())
        return FAKE_SET;
    return real_GetClassDevs(guid, enumerator, parent, flags);
}

BOOL WINAPI rec_EnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID *guid,
                               DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    calls.log.push_back(std::string("SetupDiEnumDeviceInterfaces set=") +
                        (set == FAKE_SET ? "fake" : "system") + " info=" + hex((uintptr_t)info) +
                        " class=" + (guid && IsEqualGUID(*guid, CARD_CLASS) ? "card" : "other") +
                        " index=" + std::to_string(index) +
                        " cbSize=" + std::to_string(data->cbSize));
    if (set != FAKE_SET)
        return real_EnumInterfaces(set, info, guid, index, data);
    if (index >= calls.fake_interfaces.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->InterfaceClassGuid = CARD_CLASS;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = (ULONG_PTR)index + 1;
    return TRUE;
}

BOOL WINAPI rec_GetDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                          PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD required,
                          PSP_DEVINFO_DATA info)
{
    calls.log.push_back(std::string("SetupDiGetDeviceInterfaceDetailA buffer=") +
                        (detail ? "yes cbSize=" + std::to_string(detail->cbSize) : "none") +
                        " size=" + std::to_string(size) +
                        " required=" + (required ? "yes" : "none") + " info=" + hex((uintptr_t)info));
    if (set != FAKE_SET)
        return real_GetDetail(set, data, detail, size, required, info);
    const std::string &path = calls.fake_interfaces[data->Reserved - 1];
    DWORD needed = (DWORD)(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (required)
        *required = needed;
    if (!detail || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL WINAPI rec_DestroyList(HDEVINFO set)
{
    calls.log.push_back(std::string("SetupDiDestroyDeviceInfoList set=") +
                        (set == FAKE_SET ? "fake" : "system"));
    return set == FAKE_SET ? TRUE : real_DestroyList(set);
}

/* The DLL finds the SetupDi calls by name: it gets the recorders, which call the real ones. */
FARPROC WINAPI rec_GetProcAddress(HMODULE module, LPCSTR name)
{
    FARPROC real = real_GetProcAddress(module, name);
    if ((uintptr_t)name <= 0xFFFF || !real)
        return real;
    struct Recorder {
        const char *name;
        void **real;
        void *recorder;
    } const recorders[] = {
        {"SetupDiGetClassDevsA", (void **)&real_GetClassDevs, (void *)rec_GetClassDevs},
        {"SetupDiEnumDeviceInterfaces", (void **)&real_EnumInterfaces, (void *)rec_EnumInterfaces},
        {"SetupDiGetDeviceInterfaceDetailA", (void **)&real_GetDetail, (void *)rec_GetDetail},
        {"SetupDiDestroyDeviceInfoList", (void **)&real_DestroyList, (void *)rec_DestroyList},
    };
    for (const Recorder &r : recorders)
        if (strcmp(name, r.name) == 0) {
            *r.real = (void *)real;
            return (FARPROC)r.recorder;
        }
    return real;
}

int WINAPI rec_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    calls.messages.push_back(std::string(caption) + ": " + text + " owner=" +
                             hex((uintptr_t)owner) + " type=" + hex(type));
    return IDOK; /* as if OK had been pressed: no window */
}

DWORD WINAPI rec_timeGetTime(void)
{
    calls.clock_reads++;
    return real_timeGetTime();
}

HMODULE korva32()
{
    return GetModuleHandleA("korva32.dll");
}

/* Puts the recorders in place once for the whole run. */
class RecordingEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        HMODULE dll = korva32();
        ASSERT_NE(dll, nullptr);
        auto put = [&](const char *from, const char *name, void *with) {
            void *was = replace_import(dll, from, name, with);
            EXPECT_NE(was, nullptr) << "korva32.dll does not import " << from << "!" << name;
            return was;
        };
        real_CreateFileA = (decltype(real_CreateFileA))put("KERNEL32.dll", "CreateFileA", (void *)rec_CreateFileA);
        real_CloseHandle = (decltype(real_CloseHandle))put("KERNEL32.dll", "CloseHandle", (void *)rec_CloseHandle);
        real_GetProcAddress = (decltype(real_GetProcAddress))put("KERNEL32.dll", "GetProcAddress", (void *)rec_GetProcAddress);
        put("USER32.dll", "MessageBoxA", (void *)rec_MessageBoxA);
        real_timeGetTime = (decltype(real_timeGetTime))put("WINMM.dll", "timeGetTime", (void *)rec_timeGetTime);
    }
};
const auto *const recording = ::testing::AddGlobalTestEnvironment(new RecordingEnvironment);

std::vector<std::string> take_log()
{
    std::vector<std::string> log;
    log.swap(calls.log);
    return log;
}


const char *const CREATE_READ = " access=80000000 share=0 sa=0 disposition=3 flags=80 template=0";
const char *const CREATE_READ_WRITE = " access=C0000000 share=0 sa=0 disposition=3 flags=80 template=0";
const std::string ENUM_CBSIZE = std::to_string(sizeof(SP_DEVICE_INTERFACE_DATA));
const std::string DETAIL_CBSIZE = std::to_string(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));

std::vector<std::string> interface_lookup(const char *set, unsigned index, bool found)
{
    std::vector<std::string> log = {
        "SetupDiGetClassDevsA class=card enumerator=0 parent=0 flags=12",
        std::string("SetupDiEnumDeviceInterfaces set=") + set + " info=0 class=card index=" +
            std::to_string(index) + " cbSize=" + ENUM_CBSIZE};
    if (found) {
        log.push_back("SetupDiGetDeviceInterfaceDetailA buffer=none size=0 required=yes info=0");
    }
    return log;
}

// ---- The tests, in order: the first runs on the freshly loaded DLL ----------------------

TEST(HardwareDll, RunsOnTheIntendedWindowsVersion)
{
    OSVERSIONINFOA v = system_version();
    EXPECT_EQ(v.dwOSVersionInfoSize, 148u);
    const Version *want = intended_version();
    if (!want)
        GTEST_SKIP() << "no version in the program's name; running on " << v.dwPlatformId
                     << " " << v.dwMajorVersion << "." << v.dwMinorVersion;
    EXPECT_EQ(v.dwPlatformId, want->platform);
    EXPECT_EQ(v.dwMajorVersion, want->major);
    EXPECT_EQ(v.dwMinorVersion, want->minor);
}

TEST(HardwareDll, FromLoadToEndWithoutDriverCardOrPortAccess)
{
    PortFaultCounter faults(korva32());
    take_log();

    /* KORVA3_INITIAL opens the driver the version needs; none is installed. */
    const char *driver = driver_path();
    EXPECT_EQ(KORVA3_INITIAL(), driver ? 1u : 0u);
    if (driver)
        EXPECT_EQ(take_log(), (std::vector<std::string>{"CreateFileA " + std::string(driver) + CREATE_READ}));
    else
        EXPECT_EQ(take_log(), std::vector<std::string>{});

    /* Registration: on 2000/XP no device interface is found and no port is touched.
     * Elsewhere one port read finds out whether the ports are usable: where they are not
     * (NT), the PCI scan never starts; where they are (9x) the scan finds no card, and
     * says so in a message. All return 0. The probe's answer is kept: asking again
     * costs no port access. */
    const bool scans = !uses_card_interface() && ports_usable_here();
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    if (uses_card_interface()) {
        std::vector<std::string> want = interface_lookup("system", 0, false);
        want.push_back("SetupDiDestroyDeviceInfoList set=system");
        EXPECT_EQ(take_log(), want);
        EXPECT_EQ(faults.count(), 0);
    } else {
        EXPECT_EQ(take_log(), std::vector<std::string>{});
        if (scans)
            EXPECT_GT(faults.count(), 1); /* the scan ran: ports emulated by Wine */
        else
            EXPECT_EQ(faults.count(), 1); /* the probe, and nothing more */
    }
    EXPECT_EQ(calls.messages, scans ? std::vector<std::string>{"DLL: GetCard==0 owner=0 type=0"}
                                    : std::vector<std::string>{});
    calls.messages.clear();
    LONG after_first = faults.count();
    EXPECT_EQ(KORVA3_REGISTRATION(1, 0), 0u);
    EXPECT_EQ(KORVA3_REGISTRATION(15, 3), 0u);
    EXPECT_EQ(KORVA3_REGISTRATION(16, 0), 0u);
    if (!scans) {
        EXPECT_EQ(faults.count(), after_first);
    }
    EXPECT_EQ(calls.messages.size(), scans ? 2u : 0u);
    calls.messages.clear();
    after_first = faults.count();
    take_log();

    /* Card functions do nothing on unregistered cards, and never wait on the clock. */
    for (uint32_t card : {0u, 1u, 15u, 16u})
        EXPECT_EQ(call_every_card_function(card), 0u) << card;
    EXPECT_EQ(faults.count(), after_first);
    EXPECT_EQ(take_log(), std::vector<std::string>{});

    KORVA3_END();
    EXPECT_EQ(take_log(), std::vector<std::string>{}); /* nothing was open */
    EXPECT_EQ(calls.messages, std::vector<std::string>{});
    EXPECT_EQ(calls.clock_reads, 0);
}

TEST(HardwareDll, AnOpenedDriverThatGrantsNoAccessStillRefuses)
{
    /* 95/98/Me and NT 4: the driver opens, but the ports fault all the same (as they do
     * under Wine): the probe after the open sees it and registration returns 0. */
    const char *driver = driver_path();
    if (!driver)
        GTEST_SKIP() << "no port-access driver on this version";
    PortFaultCounter faults(korva32());
    calls.fake_files = {driver};
    take_log();
    if (ports_usable_here())
        GTEST_SKIP() << "the ports are usable here: nothing to refuse";
    EXPECT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(take_log(), (std::vector<std::string>{"CreateFileA " + std::string(driver) + CREATE_READ}));
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    EXPECT_EQ(faults.count(), 1); /* access may have changed with the open: asked again */
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    EXPECT_EQ(faults.count(), 1);
    EXPECT_EQ(call_every_card_function(0), 0u);
    KORVA3_END();
    ASSERT_EQ(calls.fake_handles.size(), 1u);
    EXPECT_EQ(take_log(), std::vector<std::string>{"CloseHandle " + hex((uintptr_t)calls.fake_handles[0])});
    KORVA3_END(); /* closed once only */
    EXPECT_EQ(take_log(), std::vector<std::string>{});
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    EXPECT_EQ(faults.count(), 2); /* and asked again after the close */
    calls.fake_files.clear();
    calls.fake_handles.clear();
    EXPECT_EQ(calls.messages, std::vector<std::string>{});
}

TEST(HardwareDll, WhereThePortsAreUsableTheScanRunsAndFindsNoCard)
{
    /* 95/98/Me (under Wine, the 32-bit program): with the driver open, registration
     * scans the PCI bus through the emulated ports, finds no card and shows the
     * message: seen here as MessageBoxA's arguments, and no window opens. */
    const char *driver = driver_path();
    if (!driver || uses_card_interface() || !ports_usable_here())
        GTEST_SKIP() << "the ports are not usable here";
    PortFaultCounter faults(korva32());
    calls.fake_files = {driver};
    EXPECT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 5), 0u);
    EXPECT_GT(faults.count(), 1);
    EXPECT_EQ(calls.messages, std::vector<std::string>{"DLL: GetCard==0 owner=0 type=0"});
    calls.messages.clear();
    EXPECT_EQ(call_every_card_function(0), 0u);
    KORVA3_END();
    take_log();
    calls.fake_files.clear();
    calls.fake_handles.clear();
}

TEST(HardwareDll, OnWindows2000AndXpRegistrationOpensTheCardsInterface)
{
    if (!uses_card_interface())
        GTEST_SKIP() << "device interfaces are used on Windows 2000 and XP only";
    PortFaultCounter faults(korva32());
    const std::string first = "\\\\?\\pci#ven_e159&dev_0002#3&267a616a&0&18#{808abaf9-a78b-4eeb-80ca-8f0fa9a616b2}";
    const std::string second = first + "x";
    calls.fake_interfaces = {first, second};
    calls.fake_files = {first, second};
    take_log();
    ASSERT_EQ(KORVA3_INITIAL(), 0u);

    /* Card number n opens the n-th interface, read-write; the ports still fault here. */
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    std::vector<std::string> want = interface_lookup("fake", 0, true);
    want.push_back("SetupDiGetDeviceInterfaceDetailA buffer=yes cbSize=" + DETAIL_CBSIZE +
                   " size=" + std::to_string(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + first.size() + 1) +
                   " required=none info=0");
    want.push_back("SetupDiDestroyDeviceInfoList set=fake");
    want.push_back("CreateFileA " + first + CREATE_READ_WRITE);
    EXPECT_EQ(take_log(), want);
    EXPECT_EQ(faults.count(), 1);

    /* The second interface replaces the first, whose handle is closed. */
    EXPECT_EQ(KORVA3_REGISTRATION(1, 0), 0u);
    std::vector<std::string> log = take_log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[1], "SetupDiEnumDeviceInterfaces set=fake info=0 class=card index=1 cbSize=" + ENUM_CBSIZE);
    ASSERT_EQ(calls.fake_handles.size(), 2u);
    EXPECT_EQ(log[5], "CloseHandle " + hex((uintptr_t)calls.fake_handles[0]));
    EXPECT_EQ(log[6], "CreateFileA " + second + CREATE_READ_WRITE);
    EXPECT_EQ(faults.count(), 2);

    /* No third interface: nothing opened, no port touched. */
    EXPECT_EQ(KORVA3_REGISTRATION(2, 0), 0u);
    want = interface_lookup("fake", 2, false);
    want.push_back("SetupDiDestroyDeviceInfoList set=fake");
    EXPECT_EQ(take_log(), want);
    EXPECT_EQ(faults.count(), 2);

    /* KORVA3_END closes the handle the library holds (the last one opened). */
    KORVA3_END();
    ASSERT_EQ(calls.fake_handles.size(), 2u);
    EXPECT_EQ(take_log(), std::vector<std::string>{"CloseHandle " + hex((uintptr_t)calls.fake_handles[1])});
    calls.fake_interfaces.clear();
    calls.fake_files.clear();
    calls.fake_handles.clear();
    EXPECT_EQ(calls.messages, std::vector<std::string>{});
}

TEST(HardwareDll, ADevicePathThatDoesNotFitIsNoInterface)
{
    if (!uses_card_interface())
        GTEST_SKIP() << "device interfaces are used on Windows 2000 and XP only";
    const std::string fits(259, 'p');  /* 259 characters and the terminating zero */
    const std::string too_long(260, 'q');
    calls.fake_interfaces = {too_long, fits};
    calls.fake_files = {fits};
    take_log();
    ASSERT_EQ(KORVA3_INITIAL(), 0u);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    std::vector<std::string> log = take_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "SetupDiDestroyDeviceInfoList set=fake"); /* nothing opened */
    EXPECT_EQ(KORVA3_REGISTRATION(1, 0), 0u);
    log = take_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "CreateFileA " + fits + CREATE_READ_WRITE);
    KORVA3_END();
    take_log();
    calls.fake_interfaces.clear();
    calls.fake_files.clear();
    calls.fake_handles.clear();
}

} // namespace
