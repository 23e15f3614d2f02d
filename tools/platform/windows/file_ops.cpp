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
    return ErrorText(errno);
}

} // namespace

// Opened as itself where it is a reparse point, so that CREATE_NEW on a symbolic link, even one
// to nothing, fails as "exists" rather than creating the link's target.
std::string CreateNewFile(const std::string& path, int* file) {
    *file = -1;
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    BY_HANDLE_FILE_INFORMATION made = {};
    if (!GetFileInformationByHandle(handle, &made) ||
        (made.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(handle);
        return "not a regular file";
    }
    *file = _open_osfhandle((intptr_t)handle, _O_WRONLY | _O_BINARY);
    if (*file < 0) {
        const std::string reason = RuntimeErrorText();
        CloseHandle(handle);
        return reason;
    }
    return "";
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
