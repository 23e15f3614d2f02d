// Interrupts on Windows: the console's Ctrl-C, Ctrl-Break and close, noted by a handler.
#include "common/interrupts.h"

#include <atomic>
#include <csignal>
#include <windows.h>

namespace tools {

namespace {

std::atomic<int>& Interrupt() {
    static std::atomic<int> interrupt{0};
    return interrupt;
}

BOOL WINAPI NoteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    Interrupt() = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}

} // namespace

int PendingInterrupt() {
    static const bool installed = SetConsoleCtrlHandler(NoteInterrupt, TRUE) != 0;
    (void)installed;
    return Interrupt().exchange(0);
}

} // namespace tools
