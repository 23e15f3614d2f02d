// Files for the Linux layer: read-only opens of existing regular files, their size, and whole
// synchronous reads.
#include "platform/linux/faults.h"
#include "platform/linux/handles.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/wide_text.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Linux moves at most this much in one read() call; it is a multiple of every direct-I/O
// alignment, so a direct read can go on after it.
constexpr size_t LargestRead = 0x7ffff000;

const char* BaseName(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int NotRegularFileError(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? EISDIR : (int)ERROR_NOT_REGULAR_FILE;
}

} // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD flags, HANDLE) {
    // Only what readrace asks for is supported, so nothing here can create, truncate or write.
    if (name == nullptr || access != GENERIC_READ || creation != OPEN_EXISTING) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    char path[PATH_MAX];
    if (!ConvertToUtf8(name, path, sizeof path)) {
        return INVALID_HANDLE_VALUE;
    }
    const Fault fault = FindFault("CreateFileW", BaseName(path));
    if (ApplyFault(fault)) {
        errno = fault.value;
        return INVALID_HANDLE_VALUE;
    }
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
    int openFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if ((flags & FILE_FLAG_NO_BUFFERING) != 0) {
        openFlags |= O_DIRECT;
    }
    struct stat status;
    const int descriptor = open(path, openFlags);
    if (descriptor < 0) {
        // A direct open of anything but a regular file fails with EINVAL; say what it is.
        if (errno == EINVAL && (openFlags & O_DIRECT) != 0 && stat(path, &status) == 0 &&
            !S_ISREG(status.st_mode)) {
            errno = NotRegularFileError(status);
        }
        return INVALID_HANDLE_VALUE;
    }
    const bool known = fstat(descriptor, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        const int reason = known ? NotRegularFileError(status) : errno;
        close(descriptor);
        errno = reason;
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & FILE_FLAG_SEQUENTIAL_SCAN) != 0) {
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return MakeFileHandle(descriptor);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    if (!IsFileHandle(file)) {
        errno = EBADF;
        return INVALID_FILE_SIZE;
    }
    const int descriptor = FileDescriptorOf(file);
    const Fault fault = FindFaultForDescriptor("GetFileSize", descriptor);
    if (ApplyFault(fault)) {
        errno = fault.value;
        return INVALID_FILE_SIZE;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        return INVALID_FILE_SIZE;
    }
    const unsigned long long length = (unsigned long long)status.st_size;
    if (high != nullptr) {
        *high = (DWORD)(length >> 32);
    }
    const DWORD low = (DWORD)length;
    if (low == INVALID_FILE_SIZE) {
        errno = 0;
    }
    return low;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read != nullptr) {
        *read = 0;
    }
    if (!IsFileHandle(file) || overlapped != nullptr) {
        errno = overlapped != nullptr ? EINVAL : EBADF;
        return FALSE;
    }
    const int descriptor = FileDescriptorOf(file);
    const Fault fault = FindFaultForDescriptor("ReadFile", descriptor);
    if (ApplyFault(fault)) {
        errno = fault.value;
        return FALSE;
    }
    size_t wanted = count;
    if (fault.kind == FaultShort && wanted > 0) {
        wanted /= 2;
    }
    char* place = (char*)buffer;
    size_t done = 0;
    while (done < wanted) {
        const size_t chunk = wanted - done < LargestRead ? wanted - done : LargestRead;
        const ssize_t got = ::read(descriptor, place + done, chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (read != nullptr) {
                *read = (DWORD)done;
            }
            return FALSE;
        }
        done += (size_t)got;
        // Less than asked of a regular file means its end: a further direct read would start
        // at an unaligned offset and be refused.
        if ((size_t)got < chunk) {
            break;
        }
    }
    if (read != nullptr) {
        *read = (DWORD)done;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (IsFileHandle(handle)) {
        return close(FileDescriptorOf(handle)) == 0 ? TRUE : FALSE;
    }
    return CloseThreadHandle(handle);
}

DWORD GetLastError(void) {
    return (DWORD)errno;
}
