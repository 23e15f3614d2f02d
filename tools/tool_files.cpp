#include "tool_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tools {

#ifdef _WIN32

int CreateNewFile(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

bool WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : (unsigned)size;
        const int written = _write(file, bytes, chunk);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= (size_t)written;
    }
    return true;
}

bool SyncFile(int file) {
    return _commit(file) == 0;
}

bool CloseFile(int file) {
    return _close(file) == 0;
}

bool EvictFile(const std::string&) {
    return false;
}

void SyncDirectory(const std::string&) {}

bool IsTerminal(int descriptor) {
    return _isatty(descriptor) != 0;
}

long long AllocatedBytes(const std::string&) {
    return -1;
}

#else

int CreateNewFile(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

bool WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        const ssize_t written = write(file, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= (size_t)written;
    }
    return true;
}

bool SyncFile(int file) {
    return fsync(file) == 0;
}

bool CloseFile(int file) {
    return close(file) == 0;
}

bool EvictFile(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    // Only clean pages can be dropped: write them out first.
    const bool done = fdatasync(file) == 0 && posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(file);
    return done;
}

void SyncDirectory(const std::string& path) {
    const int directory = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
}

bool IsTerminal(int descriptor) {
    return isatty(descriptor) != 0;
}

long long AllocatedBytes(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? (long long)status.st_blocks * 512 : -1;
}

#endif

} // namespace tools
