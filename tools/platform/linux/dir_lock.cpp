// The directory lock on Linux: flock on a file in the directory.
#include "common/dir_lock.h"

#include "common/file_ops.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

// The lock file may be removed by the run before this one just as this one opens it; then the
// lock taken is on a file no longer there, and the next run would make a new one: so the lock
// counts only on the file that is still at the path.
std::string LockDirectory(const std::string& directory, DirectoryLock* lock) {
    lock->path = directory + "/" + LockFileName;
    for (int attempt = 0; attempt < 100; ++attempt) {
        lock->made = true;
        int file =
            open(lock->path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (file < 0 && errno == EEXIST) {
            lock->made = false;
            file = open(lock->path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (file < 0) {
            if (errno == ENOENT) {
                continue;
            }
            return LastErrorText();
        }
        struct stat held, there;
        if (fstat(file, &held) != 0 || !S_ISREG(held.st_mode)) {
            close(file);
            return "not a regular file";
        }
        if (flock(file, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(file);
            lock->busy = error == EWOULDBLOCK;
            return ErrorText(error);
        }
        if (stat(lock->path.c_str(), &there) == 0 && there.st_ino == held.st_ino &&
            there.st_dev == held.st_dev) {
            lock->handle = file;
            return "";
        }
        close(file);
    }
    return "the lock file keeps changing";
}

void UnlockDirectory(DirectoryLock* lock) {
    if (lock->handle < 0) {
        return;
    }
    // Removed while still held, so that no other run locks the file on its way out.
    if (lock->made) {
        unlink(lock->path.c_str());
    }
    close((int)lock->handle);
    lock->handle = -1;
}

} // namespace tools
