#include "readrace.h"

DWORD RoundUpReadSize(DWORD size, DWORD alignment) {
    const unsigned long long mask = (unsigned long long)alignment - 1;
    const unsigned long long rounded = ((unsigned long long)size + mask) & ~mask;
    // A count that does not fit makes the read come up short, and that is reported.
    return rounded <= 0xFFFFFFFFull ? (DWORD)rounded : (DWORD)(0xFFFFFFFFull & ~mask);
}
