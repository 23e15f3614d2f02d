// The companions' file and process operations on Linux.
#include "common/tool_files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
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
            return strerror(error);
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

std::string SyncFile(int file) {
    return fsync(file) == 0 ? "" : LastErrorText();
}

std::string CloseFile(int file) {
    return close(file) == 0 ? "" : LastErrorText();
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

long ProcessId() {
    return (long)getpid();
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
    sigaddset(&signals, SIGHUP);
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

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int RunCommandInDirectory(const std::vector<std::string>& command, const std::string& directory,
                          const std::string& outPath, const std::string& errPath,
                          double timeoutSeconds, int* interrupt, bool* timedOut,
                          long long* peakKiB) {
    *timedOut = false;
    *peakKiB = -1;
    *interrupt = PendingInterrupt();
    if (*interrupt != 0) {
        return -1;
    }
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    int out = -1;
    int err = -1;
    CreateNewFile(outPath, &out);
    CreateNewFile(errPath, &err);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    // What the program starts and leaves behind comes to this process, to be reaped here; an
    // ignored SIGCHLD, inherited, would have the system reap it unseen instead.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    signal(SIGCHLD, SIG_DFL);
    // Built before the fork, so that the child allocates nothing.
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const bool onPath = command[0].find('/') == std::string::npos;
    const pid_t child = out < 0 || err < 0 || in < 0 ? -1 : fork();
    if (child == 0) {
        // A group of its own, so that one signal reaches all it starts.
        setpgid(0, 0);
        const sigset_t signals = InterruptSignals();
        sigprocmask(SIG_UNBLOCK, &signals, nullptr);
        if (chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        close_range(3, ~0u, 0);
        if (onPath) {
            execvp(arguments[0], arguments.data());
        } else {
            execv(arguments[0], arguments.data());
        }
        _exit(127);
    }
    for (const int file : {out, err, in}) {
        if (file >= 0) {
            close(file);
        }
    }
    if (child < 0) {
        return -1;
    }
    // Both sides set the group, whichever runs first.
    setpgid(child, child);
    // The deliverable times itself, so this poll's few milliseconds are in no figure.
    const sigset_t signals = InterruptSignals();
    const timespec poll = {0, 5 * 1000 * 1000};
    const auto start = std::chrono::steady_clock::now();
    double killAt = -1; // seconds from start; >= 0 once asked to stop
    for (;;) {
        // Not reaped yet, so that the group's id stays its own until the group is gone.
        siginfo_t ended = {};
        const int waited = waitid(P_PID, (id_t)child, &ended, WEXITED | WNOHANG | WNOWAIT);
        if ((waited == 0 && ended.si_pid == child) || (waited < 0 && errno != EINTR)) {
            break;
        }
        const int signal = sigtimedwait(&signals, nullptr, &poll);
        const double seconds = SecondsSince(start);
        const bool stopping = killAt >= 0;
        if (signal > 0 && *interrupt == 0) {
            *interrupt = signal;
        }
        if (!stopping && (signal > 0 || seconds >= timeoutSeconds)) {
            *timedOut = signal <= 0;
            kill(-child, SIGTERM);
            killAt = seconds + StopGraceSeconds;
        } else if (stopping && (signal > 0 || seconds >= killAt)) {
            // A program that ignores SIGTERM, or a second interrupt, gets no more time.
            kill(-child, SIGKILL);
        }
    }
    // Whatever the program left running in its group goes with it.
    kill(-child, SIGKILL);
    int status = 0;
    rusage usage = {};
    pid_t reaped;
    while ((reaped = wait4(child, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (reaped == child) {
        *peakKiB = usage.ru_maxrss;
    }
    while (waitpid(-child, nullptr, 0) > 0 || errno == EINTR) {
    }
    if (*interrupt == 0) {
        *interrupt = PendingInterrupt();
    }
    return reaped == child && WIFEXITED(status) && !*timedOut ? WEXITSTATUS(status) : -1;
}

} // namespace tools
