// The directory lock on Windows: LockFileEx on a file in the directory.
#include "common/dir_lock.h"

#include "common/file_ops.h"

#include <cstdint>
#include <windows.h>

namespace tools {

std::string LockDirectory(const std::string& directory, DirectoryLock* lock) {
    lock->path = directory + "\\" + LockFileName;
    lock->made = true;
    HANDLE file = CreateFileA(lock->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        lock->made = false;
        file = CreateFileA(lock->path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    OVERLAPPED whole = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        lock->busy = GetLastError() == ERROR_LOCK_VIOLATION;
        const std::string reason = LastErrorText();
        CloseHandle(file);
        return reason;
    }
    lock->handle = (long long)(intptr_t)file;
    return "";
}

// Unlike Linux, a file removed while another run has it open stays until that one closes it; a
// run that opened it in that moment locks a file on its way out. The window is one close.
void UnlockDirectory(DirectoryLock* lock) {
    if (lock->handle < 0) {
        return;
    }
    if (lock->made) {
        DeleteFileA(lock->path.c_str());
    }
    CloseHandle((HANDLE)(intptr_t)lock->handle);
    lock->handle = -1;
}

} // namespace tools
