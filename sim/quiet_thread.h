// quiet_thread.h - threads of the virtual card that leave SIGINT and SIGTERM to the
// program. A thread inherits the signal mask of the thread that starts it; a program
// that takes Ctrl-C with sigwait blocks both signals in its own threads and expects
// every other thread to block them too, or the signal kills the process there. The
// library's threads (the wall-clock ticker, the panel's) are started with both blocked.
#ifndef KORVA_SIM_QUIET_THREAD_H
#define KORVA_SIM_QUIET_THREAD_H

#include <thread>
#include <utility>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

namespace korva::sim {

template <class F>
std::thread start_quiet_thread(F&& body)
{
#ifdef _WIN32
    return std::thread(std::forward<F>(body)); // Ctrl-C arrives on a thread of its own
#else
    sigset_t quiet, before;
    sigemptyset(&quiet);
    sigaddset(&quiet, SIGINT);
    sigaddset(&quiet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &quiet, &before); // the new thread inherits this mask
    std::thread t(std::forward<F>(body));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return t;
#endif
}

} // namespace korva::sim

#endif
