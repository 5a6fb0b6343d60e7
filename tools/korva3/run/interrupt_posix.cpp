// interrupt_posix.cpp - SIGINT and SIGTERM on a thread of their own.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "run/interrupt.h"

namespace korva3_tool::interrupt {

void install()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, so every thread started later (and this one) leaves them to sigwait.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        int sig = 0;
        while (sigwait(&set, &sig) != 0) {
        }
        stop_for_exit();
        const char msg[] = "\nkorva3: interrupted: emergency stop on every registered card\n";
        ssize_t ignored = write(STDERR_FILENO, msg, sizeof msg - 1);
        (void)ignored;
        _exit(EXIT_INTERRUPTED);
    }).detach();
}

} // namespace korva3_tool::interrupt
