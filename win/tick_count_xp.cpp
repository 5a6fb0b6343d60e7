/*
 * tick_count_xp.cpp - GetTickCount64 for the thread library linked into korva32sim.dll.
 *
 * The static thread library (winpthreads) that std::mutex needs imports GetTickCount64,
 * which Windows has only from Vista on: a DLL importing it does not load on XP. This
 * file defines the import slot the thread library calls through (__imp_GetTickCount64),
 * so the linker takes it instead of kernel32's and the DLL imports no such function.
 * The slot's function uses the system's GetTickCount64 where there is one, and elsewhere
 * widens GetTickCount's 32-bit count (it wraps every 49.7 days) to 64 bits, counting
 * the wraps it sees.
 */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <stdint.h>

typedef ULONGLONG(WINAPI *TickCount64)(void);

/* GetTickCount widened: 64 bits whose low half is GetTickCount's. */
static ULONGLONG WINAPI widened_tick_count(void)
{
    static std::atomic<uint64_t> last{0};
    uint64_t before = last.load();
    for (;;) {
        uint32_t now = GetTickCount();
        uint64_t high = before >> 32;
        if (now < (uint32_t)before)
            high++; /* the 32-bit count wrapped since the last call */
        uint64_t count = high << 32 | now;
        if (count <= before || last.compare_exchange_weak(before, count))
            return count <= before ? before : count;
    }
}

static ULONGLONG WINAPI tick_count_64(void)
{
    static std::atomic<TickCount64> chosen{nullptr};
    TickCount64 function = chosen.load();
    if (!function) {
        FARPROC system = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
        function = system ? reinterpret_cast<TickCount64>(reinterpret_cast<void *>(system))
                          : widened_tick_count;
        chosen.store(function);
    }
    return function();
}

#ifdef _WIN64
#define KORVA_IMPORT_SLOT "__imp_GetTickCount64"
#else
#define KORVA_IMPORT_SLOT "__imp__GetTickCount64@0"
#endif
extern "C" TickCount64 korva_tick_count_slot __asm__(KORVA_IMPORT_SLOT);
TickCount64 korva_tick_count_slot = tick_count_64;
