// machine_gate.cpp - the owner's free entry and the switch to a shared machine.
#include "machine_gate.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_THREAD__)
#define KORVA_SIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVA_SIM_TSAN 1
#endif
#endif

namespace korva::sim {

namespace {

#if defined(_WIN32)
// FlushProcessWriteBuffers (Vista and later), found at run time: the DLL loads on XP,
// where the machine is then shared from the start.
using FlushFunction = VOID(WINAPI *)(void);
FlushFunction flush_process_write_buffers()
{
    static const FlushFunction flush = reinterpret_cast<FlushFunction>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "FlushProcessWriteBuffers")));
    return flush;
}
#endif

// Prepares the process-wide barrier; false where there is none.
bool barrier_ready()
{
#if defined(KORVA_SIM_TSAN)
    return false;
#elif defined(_WIN32)
    return flush_process_write_buffers() != nullptr;
#elif defined(__linux__) && defined(__NR_membarrier)
    return syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
#else
    return false;
#endif
}

// Every thread of the process passes a full memory barrier.
void process_barrier()
{
#if defined(_WIN32)
    flush_process_write_buffers()();
#elif defined(__linux__) && defined(__NR_membarrier)
    syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
#endif
}

} // namespace

MachineGate::MachineGate() { shared_.store(!barrier_ready()); }

void MachineGate::admit()
{
    const std::thread::id me = std::this_thread::get_id();
    const std::thread::id owner = owner_.load(std::memory_order_relaxed);
    if (owner == me || shared_.load(std::memory_order_relaxed))
        return;
    if (owner == std::thread::id()) {
        owner_.store(me, std::memory_order_relaxed);
        this_thread_owns_machine = true;
        return;
    }
    shared_.store(true, std::memory_order_seq_cst);
    process_barrier();
    while (inside_.load(std::memory_order_acquire))
        std::this_thread::yield();
}

} // namespace korva::sim
