// The companions' file operations on Linux.
#include "common/file_ops.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

long WriteSome(int file, const void* data, size_t size) {
    ssize_t written;
    do {
        written = write(file, data, size);
    } while (written < 0 && errno == EINTR);
    return (long)written;
}

std::string CreateNewFile(const std::string& path, int* file) {
    *file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return *file >= 0 ? "" : LastErrorText();
}

std::string MakeFreshDirectory(const std::string& prefix, std::string* path) {
    *path = prefix + "XXXXXX";
    if (mkdtemp(path->data()) == nullptr) {
        path->clear();
        return LastErrorText();
    }
    return "";
}

std::string SyncFile(int file) {
    return fsync(file) == 0 ? "" : LastErrorText();
}

std::string CloseFile(int file) {
    return close(file) == 0 ? "" : LastErrorText();
}

std::string LastErrorText() {
    return ErrorText(errno);
}

std::string EvictFile(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return LastErrorText();
    }
    // Only clean pages can be dropped: write them out first.
    int error = fdatasync(file) == 0 ? 0 : errno;
    if (error == 0) {
        error = posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
    }
    close(file);
    return error == 0 ? "" : ErrorText(error);
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

long ProcessId() {
    return (long)getpid();
}

} // namespace tools
