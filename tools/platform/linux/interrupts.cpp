// Interrupts on Linux: SIGINT, SIGTERM and SIGHUP, blocked and taken when asked for.
#include "common/interrupts.h"

#include "platform/linux/interrupt_signals.h"

#include <ctime>

namespace tools {

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// The signals stay blocked and are taken with sigtimedwait: no handler, no shared flag.
int PendingInterrupt() {
    const sigset_t signals = InterruptSignals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const timespec now = {0, 0};
    const int signal = sigtimedwait(&signals, nullptr, &now);
    return signal > 0 ? signal : 0;
}

} // namespace tools
