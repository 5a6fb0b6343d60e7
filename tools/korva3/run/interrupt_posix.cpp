// interrupt_posix.cpp - SIGINT and SIGTERM on a thread of their own.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <string>
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
        const int ended = ended_code();
        const std::string msg =
            ended >= 0 ? "\nkorva3: panel closed\n" : stopped_message(stop_for_exit());
        ssize_t ignored = write(STDERR_FILENO, msg.data(), msg.size());
        (void)ignored;
        run_at_exit();
        _exit(ended >= 0 ? ended : static_cast<int>(EXIT_INTERRUPTED));
    }).detach();
}

} // namespace korva3_tool::interrupt
