#include "readrace.h"

#include <x86intrin.h>

unsigned long long ReadCycleCounter(void) {
    return __rdtsc();
}
