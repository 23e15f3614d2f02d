// Runtime services for the Linux layer: read buffers, error texts and the end of output.
#include "platform/linux/faults.h"
#include "platform/linux/wide_text.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <sys/mman.h>

namespace {

// From this size on a buffer is a mapping of its own, with huge pages where the kernel gives
// them: the first-touch faults of a fresh buffer, taken inside the read, then cost about a
// thirtieth of what 4 KiB pages cost, and the block goes back to the kernel when released.
constexpr size_t MappedFrom = 2u << 20;
constexpr size_t HugePage = 2u << 20;

size_t MappedLength(size_t size) {
    return (size + HugePage - 1) & ~(HugePage - 1);
}

void* MapBuffer(size_t size) {
    // Over-map by a huge page and trim, so that the block starts on a huge-page boundary.
    const size_t length = MappedLength(size);
    void* mapped = mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    const uintptr_t start = (uintptr_t)mapped;
    const uintptr_t aligned = (start + HugePage - 1) & ~(uintptr_t)(HugePage - 1);
    if (aligned > start) {
        munmap(mapped, aligned - start);
    }
    const uintptr_t end = start + length + HugePage;
    if (end > aligned + length) {
        munmap((void*)(aligned + length), end - (aligned + length));
    }
    // Advice only: where huge pages are off this stays a mapping of ordinary pages.
    madvise((void*)aligned, length, MADV_HUGEPAGE);
    return (void*)aligned;
}

} // namespace

void* AllocateBuffer(size_t size, DWORD alignment) {
    const Fault fault = FindFaultForSize("AllocateBuffer", size);
    if (fault.kind == FaultNull) {
        errno = ENOMEM;
        return nullptr;
    }
    if (size >= MappedFrom && alignment <= HugePage) {
        return MapBuffer(size);
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

void ReleaseBuffer(void* block, size_t size, DWORD alignment) {
    if (size >= MappedFrom && alignment <= HugePage) {
        munmap(block, MappedLength(size));
    } else {
        free(block);
    }
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

void PrepareOutput(void) {
    // glibc orients a stream on its first wide print outside the stream's lock, and resets its
    // buffer as it does: two threads printing first at once would lose a line.
    fwide(stdout, 1);
}

void WriteErrorLine(const wchar_t* line) {
    // As UTF-8, in one fputs: glibc writes a wide line to the unbuffered stream a character at a
    // time. The lines name listed files and the system's reasons, so they always convert.
    char text[4096];
    ConvertToUtf8(line, text, sizeof text);
    fputs(text, stderr);
}

BOOL FinishOutput(DWORD* error) {
    // Never unlocked: a worker still printing blocks here instead of writing half a line.
    flockfile(stderr);
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
