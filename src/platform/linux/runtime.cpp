// Runtime services for the Linux layer: read buffers, error texts and the end of output.
#include "platform/linux/faults.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void* AllocateBuffer(size_t size, DWORD alignment) {
    const Fault fault = FindFaultForSize("AllocateBuffer", size);
    if (fault.kind == FaultNull) {
        errno = ENOMEM;
        return nullptr;
    }
    if (alignment == 0) {
        return malloc(size);
    }
    void* block = nullptr;
    const int result = posix_memalign(&block, alignment, size);
    if (result != 0) {
        errno = result;
        return nullptr;
    }
    return block;
}

void ReleaseBuffer(void* block, size_t, DWORD) {
    free(block);
}

void DescribeError(DWORD error, wchar_t* text, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    char message[256];
    const char* said = error == ERROR_NOT_REGULAR_FILE
                           ? "Not a regular file"
                           : strerror_r((int)error, message, sizeof message);
    size_t i = 0;
    for (; said[i] != '\0' && i + 1 < capacity; ++i) {
        text[i] = (wchar_t)(unsigned char)said[i];
    }
    text[i] = L'\0';
}

BOOL FinishOutput(DWORD* error) {
    // Never unlocked: a worker still printing blocks here instead of writing half a line.
    flockfile(stdout);
    const bool failedBefore = ferror(stdout) != 0;
    errno = 0;
    const bool failedNow = fflush(stdout) != 0;
    if (failedBefore || failedNow) {
        *error = errno != 0 ? (DWORD)errno : (DWORD)EIO;
        return FALSE;
    }
    return TRUE;
}
