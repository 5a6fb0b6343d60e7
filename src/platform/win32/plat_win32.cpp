/*
 * plat_win32.cpp - the Windows backend of korva32.dll (32- and 64-bit).
 *
 * Port operations are the processor's in/out instructions. Windows 95/98/Me let every
 * program execute them; the NT family only lets a program whose access a driver has
 * granted (the port-access driver "\\.\klemnt" on NT 3/4, the card's own driver on
 * 2000/XP). Elsewhere the first in/out raises a privileged-instruction exception, so the
 * backend tries one harmless read under its own exception handler before it says the
 * ports are usable, and remembers the answer until a device is opened or closed.
 *
 * The system version comes from GetVersionExA in the DLL's process-attach hook, the
 * millisecond clock from timeGetTime (winmm), device interfaces from the SetupDi calls
 * and messages go to MessageBoxA.
 *
 * The DLL loads on every Windows from 95 on: it imports only functions that all of them
 * have. setupapi.dll, which 95 and NT 4.0 lack and only 2000/XP need here, is loaded
 * where a device interface is looked for, and its functions found by name.
 */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <setupapi.h>

#include <atomic>
#include <stdlib.h>
#include <string.h>

#include "port/platform.h"

#if !defined(__i386__) && !defined(__x86_64__)
#error "the Windows backend drives the card through x86 in/out instructions"
#endif

#ifdef _WIN64
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "detail data header size");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "interface data size");
#else
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail data header size");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface data size");
#endif
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA size");
static_assert(sizeof(plat_handle) == sizeof(HANDLE), "a handle fits plat_handle");

/* ---- Port operations ------------------------------------------------------------------ */

void plat_out8(uint16_t port, uint8_t value)
{
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port) : "memory");
}

void plat_out16(uint16_t port, uint16_t value)
{
    __asm__ __volatile__("outw %w0, %w1" : : "a"(value), "Nd"(port) : "memory");
}

void plat_out32(uint16_t port, uint32_t value)
{
    __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port) : "memory");
}

uint8_t plat_in8(uint16_t port)
{
    uint8_t value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port) : "memory");
    return value;
}

uint16_t plat_in16(uint16_t port)
{
    uint16_t value;
    __asm__ __volatile__("inw %w1, %w0" : "=a"(value) : "Nd"(port) : "memory");
    return value;
}

/* ---- Whether the ports may be used ----------------------------------------------------
 *
 * korva_probe_ports() reads the PCI configuration address register (a 32-bit in from
 * 0xCF8: no side effect, and the first port the PCI scan needs anyway) under an
 * exception handler of its own, and returns 1 when the read ran, 0 when it faulted.
 * The handler takes the fault only at that one instruction: it moves the thread on to
 * korva_probe_resume with ECX/RCX = 0. On 32-bit Windows the handler sits in the
 * thread's frame-based chain (fs:[0]), which every Win32 system has; on 64-bit Windows
 * it is the probe's language handler in the unwind tables.
 *
 * A program without access gets EXCEPTION_PRIV_INSTRUCTION on Windows; Wine reports the
 * same fault as EXCEPTION_ACCESS_VIOLATION. Both are taken, at the probe's address only.
 */
extern "C" {
uint32_t korva_probe_ports(void);
extern char korva_probe_insn[];
extern char korva_probe_resume[];
EXCEPTION_DISPOSITION korva_probe_handler(EXCEPTION_RECORD *record, void *frame,
                                          CONTEXT *context, void *dispatch);
}

#ifdef _WIN64
__asm__(".text\n"
        ".globl korva_probe_ports\n"
        ".def korva_probe_ports; .scl 2; .type 32; .endef\n"
        ".seh_proc korva_probe_ports\n"
        "korva_probe_ports:\n"
        "    .seh_handler korva_probe_handler, @except\n"
        "    .seh_endprologue\n"
        "    movl $1, %ecx\n"
        "    movl $0xCF8, %edx\n"
        ".globl korva_probe_insn\n"
        "korva_probe_insn:\n"
        "    inl %dx, %eax\n"
        ".globl korva_probe_resume\n"
        "korva_probe_resume:\n"
        "    movl %ecx, %eax\n"
        "    ret\n"
        ".seh_endproc\n");
#else
__asm__(".text\n"
        ".globl _korva_probe_ports\n"
        ".def _korva_probe_ports; .scl 2; .type 32; .endef\n"
        "_korva_probe_ports:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl $_korva_probe_handler\n" /* EXCEPTION_REGISTRATION_RECORD.Handler */
        "    pushl %fs:0\n"                 /* EXCEPTION_REGISTRATION_RECORD.Next */
        "    movl %esp, %fs:0\n"
        "    movl $1, %ecx\n"
        "    movl $0xCF8, %edx\n"
        ".globl _korva_probe_insn\n"
        "_korva_probe_insn:\n"
        "    inl %dx, %eax\n"
        ".globl _korva_probe_resume\n"
        "_korva_probe_resume:\n"
        "    movl (%esp), %eax\n"
        "    movl %eax, %fs:0\n"
        "    movl %ecx, %eax\n"
        "    movl %ebp, %esp\n"
        "    popl %ebp\n"
        "    ret\n");
#endif

extern "C" EXCEPTION_DISPOSITION korva_probe_handler(EXCEPTION_RECORD *record, void *frame,
                                                     CONTEXT *context, void *dispatch)
{
    (void)frame, (void)dispatch;
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    if (record->ExceptionAddress != (void *)korva_probe_insn)
        return ExceptionContinueSearch;
    if (record->ExceptionCode != EXCEPTION_PRIV_INSTRUCTION &&
        record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return ExceptionContinueSearch;
#ifdef _WIN64
    context->Rip = (DWORD64)(uintptr_t)korva_probe_resume;
    context->Rcx = 0;
#else
    context->Eip = (DWORD)(uintptr_t)korva_probe_resume;
    context->Ecx = 0;
#endif
    return ExceptionContinueExecution;
}

/* The probe's answer: -1 = not asked since access last changed. */
static std::atomic<int> ports_state{-1};

static void access_may_have_changed(void)
{
    ports_state.store(-1);
}

int plat_ports_usable(void)
{
    int state = ports_state.load();
    if (state < 0) {
        state = korva_probe_ports() ? 1 : 0;
        ports_state.store(state);
    }
    return state;
}

/* ---- Clock ---------------------------------------------------------------------------- */

uint32_t plat_clock_ms(void)
{
    return timeGetTime();
}

/* ---- OS services ---------------------------------------------------------------------- */

void plat_os_version(uint32_t *platform, uint32_t *major, uint32_t *minor)
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        *platform = *major = *minor = 0;
        return;
    }
    *platform = info.dwPlatformId;
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
}

plat_handle plat_open_device(const char *path, int write_access)
{
    DWORD access = GENERIC_READ | (write_access ? GENERIC_WRITE : 0);
    HANDLE handle = CreateFileA(path, access, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return PLAT_INVALID_HANDLE;
    access_may_have_changed(); /* a driver may have granted port access to this process */
    return (plat_handle)handle;
}

void plat_close_handle(plat_handle handle)
{
    CloseHandle((HANDLE)handle);
    access_may_have_changed();
}

/* The card's device interface class. */
static const GUID KORVA_INTERFACE_CLASS = {
    0x808ABAF9, 0xA78B, 0x4EEB, {0x80, 0xCA, 0x8F, 0x0F, 0xA9, 0xA6, 0x16, 0xB2}};

/* The SetupDi functions the backend calls, found in setupapi.dll at run time. */
struct SetupApi {
    HMODULE dll;
    decltype(&SetupDiGetClassDevsA) get_class_devs;
    decltype(&SetupDiEnumDeviceInterfaces) enum_interfaces;
    decltype(&SetupDiGetDeviceInterfaceDetailA) get_detail;
    decltype(&SetupDiDestroyDeviceInfoList) destroy_list;
};

template <typename Function>
static bool find_function(HMODULE dll, const char *name, Function *function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
    return *function != NULL;
}

/* Loads setupapi.dll; 0 (and nothing loaded) where the system lacks it or a function. */
static int load_setupapi(SetupApi *api)
{
    api->dll = LoadLibraryA("setupapi.dll");
    if (!api->dll)
        return 0;
    if (find_function(api->dll, "SetupDiGetClassDevsA", &api->get_class_devs) &&
        find_function(api->dll, "SetupDiEnumDeviceInterfaces", &api->enum_interfaces) &&
        find_function(api->dll, "SetupDiGetDeviceInterfaceDetailA", &api->get_detail) &&
        find_function(api->dll, "SetupDiDestroyDeviceInfoList", &api->destroy_list))
        return 1;
    FreeLibrary(api->dll);
    return 0;
}

/* Copies the path of `set`'s interface `iface` into path[size]; 1 when it fits. */
static int copy_interface_path(const SetupApi &api, HDEVINFO set,
                               SP_DEVICE_INTERFACE_DATA *iface, char *path, size_t size)
{
    DWORD needed = 0;
    api.get_detail(set, iface, NULL, 0, &needed, NULL);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return 0;
    SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_A *)malloc(needed);
    if (!detail)
        return 0;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    int found = 0;
    if (api.get_detail(set, iface, detail, needed, NULL, NULL)) {
        /* The path ends inside the buffer even if the system left it unterminated. */
        size_t room = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        const char *end = (const char *)memchr(detail->DevicePath, 0, room);
        size_t length = end ? (size_t)(end - detail->DevicePath) : room;
        if (end && length < size) {
            memcpy(path, detail->DevicePath, length + 1);
            found = 1;
        }
    }
    free(detail);
    return found;
}

int plat_find_card_interface(uint32_t index, char *path, size_t size)
{
    SetupApi api;
    if (!load_setupapi(&api))
        return 0;
    int found = 0;
    HDEVINFO set = api.get_class_devs(&KORVA_INTERFACE_CLASS, NULL, NULL,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA iface;
        memset(&iface, 0, sizeof iface);
        iface.cbSize = sizeof iface;
        if (api.enum_interfaces(set, NULL, &KORVA_INTERFACE_CLASS, index, &iface))
            found = copy_interface_path(api, set, &iface, path, size);
        api.destroy_list(set);
    }
    FreeLibrary(api.dll);
    return found;
}

void plat_message_box(const char *text, const char *caption)
{
    MessageBoxA(NULL, text, caption, MB_OK);
}

/* ---- Loading ------------------------------------------------------------------------- */

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        core_process_attach();
    return TRUE;
}
