#include "reference_read.h"

#include "run_program.h"

#include "common/file_ops.h"
#include "common/file_set.h"
#include "common/safe_text.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <x86intrin.h>

namespace bench {
namespace {

constexpr size_t HugePage = 2u << 20;

// The alignment readrace_nobuf asks of its reads of path, from the product's own layer.
size_t DirectIoAlignment(const std::string& path) {
    const std::wstring name(path.begin(), path.end());
    return GetDirectIoAlignment(name.c_str());
}

// Opens path as readrace's step does, its size in *size. Returns 0, or 1 after saying why,
// with nothing left open.
int OpenForReference(const std::string& path, bool direct, int* file, size_t* size) {
    *file =
        open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (direct ? O_DIRECT : 0));
    if (*file < 0) {
        return Die("open " + path);
    }
    struct stat status;
    // Both, as readrace's open and size query each make one.
    const bool known = fstat(*file, &status) == 0;
    if (!direct) {
        posix_fadvise(*file, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    if (!known || fstat(*file, &status) != 0) {
        const int error = errno;
        close(*file);
        errno = error;
        return Die("fstat " + path);
    }
    *size = (size_t)status.st_size;
    return 0;
}

// The buffer for asked bytes of path in *into, got as buffer says. Returns 0, or 1 after
// closing file and saying why there is none.
int TakeBuffer(Buffer buffer, char* touched, size_t asked, size_t alignment, int file,
               const std::string& path, char** into) {
    *into = buffer == PreTouched ? touched : nullptr;
    if (buffer == FreshMalloc) {
        *into = (char*)malloc(asked);
        // Unchecked, a failed allocation would be told as a short read.
        if (*into == nullptr && asked > 0) {
            close(file);
            return Die("malloc of " + std::to_string(asked) + " bytes for " + path);
        }
    } else if (buffer == FreshReadraceBuffer) {
        // The very buffer readrace reads into: the product's own allocation.
        *into = (char*)AllocateBuffer(asked, (DWORD)alignment);
        if (*into == nullptr) {
            close(file);
            return Die("a buffer of " + std::to_string(asked) + " bytes for " + path);
        }
    }
    return 0;
}

void GiveBackBuffer(Buffer buffer, char* into, size_t asked, size_t alignment) {
    if (buffer == FreshMalloc) {
        free(into);
    } else if (buffer == FreshReadraceBuffer) {
        ReleaseBuffer(into, asked, (DWORD)alignment);
    }
}

// Reads until asked bytes are in or the file ends; returns the bytes read, with the reason a
// read failed in *readError (0 where none did).
size_t ReadUpTo(int file, char* into, size_t asked, int* readError) {
    size_t done = 0;
    *readError = 0;
    while (done < asked) {
        const size_t wanted = asked - done;
        const ssize_t got = read(file, into + done, wanted);
        if (got <= 0) {
            *readError = got < 0 ? errno : 0;
            break;
        }
        done += (size_t)got;
        if ((size_t)got < wanted) {
            break; // the end of the file
        }
    }
    return done;
}

// One file, from its open to its close, as readrace's step reads it; its ticks appended.
int ReferenceRead(const std::string& path, bool direct, Buffer buffer, char* touched,
                  std::vector<double>* ticks) {
    const unsigned long long start = __rdtsc();
    int file = -1;
    size_t size = 0;
    if (const int status = OpenForReference(path, direct, &file, &size)) {
        return status;
    }
    const size_t alignment = direct ? DirectIoAlignment(path) : 0;
    const size_t asked = direct ? (size + alignment - 1) & ~(alignment - 1) : size;
    char* into = nullptr;
    if (const int status = TakeBuffer(buffer, touched, asked, alignment, file, path, &into)) {
        return status;
    }
    int readError = 0;
    const size_t done = ReadUpTo(file, into, asked, &readError);
    GiveBackBuffer(buffer, into, asked, alignment);
    close(file);
    const unsigned long long stop = __rdtsc();
    if (done != size) {
        tools::Complain("readrace_bench", path,
                        "reference read " + std::to_string(done) + " of " + std::to_string(size) +
                            " bytes" + (readError != 0 ? ": " + tools::ErrorText(readError) : ""));
        return 1;
    }
    ticks->push_back((double)(stop - start));
    return 0;
}

} // namespace

int TouchedBuffer(size_t size, bool hugePages, Touched* touched) {
    const size_t hugePage = HugePage;
    touched->length = ((size + hugePage - 1) & ~(hugePage - 1)) + 2 * hugePage;
    touched->mapped = (char*)mmap(nullptr, touched->length, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (touched->mapped == MAP_FAILED) {
        return Die("mmap");
    }
    touched->buffer =
        (char*)(((uintptr_t)touched->mapped + hugePage - 1) & ~(uintptr_t)(hugePage - 1));
    madvise(touched->buffer, touched->length - hugePage,
            hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    memset(touched->buffer, 1, touched->length - hugePage);
    return 0;
}

void FreeTouchedBuffer(const Touched& touched) {
    munmap(touched.mapped, touched.length);
}

int ReferencePass(const std::string& dir, bool direct, Buffer buffer, char* touched,
                  std::vector<double>* ticks) {
    for (int i = 0; i < tools::FileCount; ++i) {
        const std::string path = dir + "/" + tools::FileName(i);
        if (const int status = ReferenceRead(path, direct, buffer, touched, ticks)) {
            return status;
        }
    }
    return 0;
}

} // namespace bench
