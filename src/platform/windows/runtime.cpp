// Runtime services on Windows: the C runtime's allocator and stdio, and the system's messages.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

constexpr DWORD SmallestDirectIoAlignment = 4096;

} // namespace

void* AllocateBuffer(size_t size, DWORD alignment) {
    return alignment == 0 ? malloc(size) : _aligned_malloc(size, alignment);
}

void ReleaseBuffer(void* block, size_t, DWORD alignment) {
    if (alignment == 0) {
        free(block);
    } else {
        _aligned_free(block);
    }
}

DWORD GetDirectIoAlignment(LPCWSTR) {
    // The names are relative, so the file lies on the current directory's volume.
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetDiskFreeSpaceW(NULL, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        bytesPerSector > SmallestDirectIoAlignment &&
        (bytesPerSector & (bytesPerSector - 1)) == 0) {
        return bytesPerSector;
    }
    return SmallestDirectIoAlignment;
}

void DescribeError(DWORD error, wchar_t* text, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error, 0, text, (DWORD)capacity, NULL);
    // The system's messages end in a period and a line break; the diagnostic ends the line itself.
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.')) {
        --length;
    }
    if (length == 0) {
        swprintf(text, capacity, L"error %lu", (unsigned long)error);
        return;
    }
    text[length] = L'\0';
}

void PrepareOutput(void) {
    // The C runtime's streams need nothing before the first print.
}

void WriteErrorLine(const wchar_t* line) {
    // The C runtime buffers an unbuffered stream for the length of one call.
    fputws(line, stderr);
}

BOOL FinishOutput(DWORD* error) {
    // Never unlocked: a worker still printing blocks here instead of writing half a line.
    _lock_file(stderr);
    _lock_file(stdout);
    const bool failedBefore = ferror(stdout) != 0;
    const bool failedNow = fflush(stdout) != 0;
    if (failedBefore || failedNow) {
        // The C runtime keeps no system error for a failed write; ask the handle itself.
        *error = GetLastError() != NO_ERROR ? GetLastError() : (DWORD)ERROR_WRITE_FAULT;
        return FALSE;
    }
    return TRUE;
}
