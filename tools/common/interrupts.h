// Interrupts held back, so that a tool cleans up before it ends.
#pragma once

namespace tools {

// Holds SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and closing the console on Windows) back
// from the moment it is first called, so that the tool can clean up before it ends; later calls
// return the signal that came since, or 0. The exit status for a signal is 128 plus its number.
int PendingInterrupt();

} // namespace tools
