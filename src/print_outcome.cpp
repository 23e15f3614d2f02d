// The verdict line: which phase took longer, as a whole percentage of the other.
#include "readrace.h"

#include <climits>
#include <cwchar>

namespace {

// longer * 100 / shorter in signed 64-bit arithmetic: the product wraps to its low 64 bits and
// the quotient is truncated toward zero. The one quotient that does not fit, the minimum over
// -1, wraps too instead of trapping.
long long Percentage(long long longer, long long shorter) {
    const long long product = (long long)((unsigned long long)longer * 100u);
    if (product == LLONG_MIN && shorter == -1) {
        return LLONG_MIN;
    }
    return product / shorter;
}

} // namespace

void PrintOutcome(Ticks parallel, Ticks serial) {
    if (serial <= parallel) {
        if (serial == 0) {
            wprintf(L"Outcome: Parallel was worse. No percentage: serial total is 0.\n");
        } else {
            wprintf(L"Outcome: Parallel was worse. %lld%% as long as serial.\n",
                    Percentage(parallel, serial));
        }
    } else if (parallel == 0) {
        wprintf(L"Outcome: Serial was worse. No percentage: parallel total is 0.\n");
    } else {
        wprintf(L"Outcome: Serial was worse. %lld%% as long as parallel.\n",
                Percentage(serial, parallel));
    }
}
