// machine_gate.h - who may be inside the virtual machine: the mutual exclusion of
// with_machine(), free for a program that uses the machine from one thread only.
//
// The first thread to use the machine owns it and enters without taking the mutex: it
// only marks itself inside (a plain store). When a second thread comes, it takes the
// mutex, marks the machine shared, makes the owner's mark visible with a process-wide
// memory barrier (membarrier on Linux, FlushProcessWriteBuffers on Windows) and waits
// until the owner is out. From then on every thread, the owner too, takes the mutex.
// Where no such barrier exists (or under ThreadSanitizer, which cannot see it) the
// machine is shared from the start.
#ifndef KORVA_SIM_MACHINE_GATE_H
#define KORVA_SIM_MACHINE_GATE_H

#include <atomic>
#include <mutex>
#include <thread>

namespace korva::sim {

// Whether this thread owns the machine: a thread-local flag read with one load (where the
// platform has static TLS), cheaper than asking for the thread's id on every access.
#if defined(__GNUC__) && !defined(_WIN32)
inline thread_local bool this_thread_owns_machine __attribute__((tls_model("initial-exec"))) =
    false;
#else
inline thread_local bool this_thread_owns_machine = false;
#endif

class MachineGate {
public:
    MachineGate();

    // The owner entering alone: true when it may go in without the mutex; then leave().
    bool enter_alone()
    {
        if (!this_thread_owns_machine || shared_.load(std::memory_order_relaxed))
            return false;
        inside_.store(true, std::memory_order_relaxed);
        // Only the compiler must keep the store before the load; the other side's
        // process-wide barrier orders them for the processor.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (!shared_.load(std::memory_order_relaxed))
            return true;
        leave();
        return false;
    }
    void leave() { inside_.store(false, std::memory_order_release); }

    std::mutex& mutex() { return mutex_; }

    // With the mutex held: the first thread becomes the owner; another thread makes the
    // machine shared and waits until the owner is out.
    void admit();

private:
    std::mutex mutex_;
    std::atomic<bool> shared_{false};
    std::atomic<bool> inside_{false};
    std::atomic<std::thread::id> owner_{};
};

} // namespace korva::sim

#endif
