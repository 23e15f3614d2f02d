// The signals PendingInterrupt holds back, for the child runner, which waits on them and lets
// its child have them again.
#pragma once

#include <csignal>

namespace tools {

sigset_t InterruptSignals();

} // namespace tools
