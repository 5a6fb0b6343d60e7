// interrupt_win32.cpp - Ctrl-C, Ctrl-Break and closing the console window.
#include <windows.h>

#include <cstdio>

#include "run/interrupt.h"

namespace korva3_tool::interrupt {

namespace {

BOOL WINAPI on_console_event(DWORD)
{
    const int ended = ended_code();
    std::fputs(ended >= 0 ? "\nkorva3: panel closed\n" : stopped_message(stop_for_exit()).c_str(),
               stderr);
    run_at_exit();
    ExitProcess(static_cast<UINT>(ended >= 0 ? ended : static_cast<int>(EXIT_INTERRUPTED)));
    return TRUE;
}

} // namespace

void install() { SetConsoleCtrlHandler(on_console_event, TRUE); }

} // namespace korva3_tool::interrupt
