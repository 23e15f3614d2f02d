// The companions' file operations on Windows, through the C runtime and the system library.
#include "common/file_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>

namespace tools {

long WriteSome(int file, const void* data, size_t size) {
    return _write(file, data, size > (1u << 30) ? (1u << 30) : (unsigned)size);
}

namespace {

// The C runtime's descriptors say why in errno, not in GetLastError.
std::string RuntimeErrorText() {
    return std::generic_category().message(errno);
}

} // namespace

std::string CreateNewFile(const std::string& path, int* file) {
    *file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return *file >= 0 ? "" : RuntimeErrorText();
}

// CreateDirectory fails where anything is already at the path, so the folder is this run's own.
std::string MakeFreshDirectory(const std::string& prefix, std::string* path) {
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *path = prefix;
        for (int i = 0; i < 6; ++i) {
            *path += letters[random() % (sizeof letters - 1)];
        }
        if (CreateDirectoryA(path->c_str(), nullptr)) {
            return "";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path->clear();
            return LastErrorText();
        }
    }
    path->clear();
    return "no name there is free";
}

// _commit is FlushFileBuffers on the file's handle.
std::string SyncFile(int file) {
    return _commit(file) == 0 ? "" : RuntimeErrorText();
}

std::string CloseFile(int file) {
    return _close(file) == 0 ? "" : RuntimeErrorText();
}

std::string LastErrorText() {
    char text[256] = {};
    const DWORD error = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' ')) {
        --length;
    }
    return length > 0 ? std::string(text, length) : "error " + std::to_string(error);
}

// Not promised by the documentation, but relied on widely by storage tools: an unbuffered
// open makes NTFS and ReFS drop the file's cached pages. Wine keeps no such cache.
std::string EvictFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    CloseHandle(file);
    return "";
}

void SyncDirectory(const std::string&) {}

bool IsTerminal(int descriptor) {
    return _isatty(descriptor) != 0;
}

long long AllocatedBytes(const std::string&) {
    return -1;
}

long ProcessId() {
    return (long)GetCurrentProcessId();
}

} // namespace tools
