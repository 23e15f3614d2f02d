// The companions' file and process operations on Linux.
#include "common/tool_files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tools {

long WriteSome(int file, const void* data, size_t size) {
    ssize_t written;
    do {
        written = write(file, data, size);
    } while (written < 0 && errno == EINTR);
    return (long)written;
}

int CreateNewFile(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

bool SyncFile(int file) {
    return fsync(file) == 0;
}

bool CloseFile(int file) {
    return close(file) == 0;
}

std::string LastErrorText() {
    return strerror(errno);
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
    return error == 0 ? "" : strerror(error);
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

const char* ExecutableSuffix() {
    return "";
}

std::string SelfDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string self(path, (size_t)length);
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

namespace {

sigset_t InterruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

// The signals stay blocked and are taken with sigtimedwait: no handler, no shared flag.
int PendingInterrupt() {
    const sigset_t signals = InterruptSignals();
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const timespec now = {0, 0};
    const int signal = sigtimedwait(&signals, nullptr, &now);
    return signal > 0 ? signal : 0;
}

int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath, int* interrupt) {
    *interrupt = PendingInterrupt();
    if (*interrupt != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        const sigset_t signals = InterruptSignals();
        sigprocmask(SIG_UNBLOCK, &signals, nullptr);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        dup2(out, 1);
        dup2(err, 2);
        close_range(3, ~0u, 0);
        execl(program.c_str(), program.c_str(), (char*)nullptr);
        _exit(127);
    }
    // The deliverable times itself, so this poll's few milliseconds are in no figure.
    const sigset_t signals = InterruptSignals();
    const timespec poll = {0, 5 * 1000 * 1000};
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) {
            break;
        }
        if (ended < 0 && errno != EINTR) {
            return -1;
        }
        const int signal = sigtimedwait(&signals, nullptr, &poll);
        if (signal > 0 && *interrupt == 0) {
            *interrupt = signal;
            kill(child, SIGTERM);
        }
    }
    if (*interrupt == 0) {
        *interrupt = PendingInterrupt();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tools
