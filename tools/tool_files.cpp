#include "tool_files.h"

#include <cstdlib>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <sys/wait.h>
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

std::string SelfDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string self(path, length < sizeof path ? length : 0);
    const size_t slash = self.find_last_of("\\/");
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath) {
    const std::string command = "cd /d \"" + directory + "\" && \"" + program + "\" > \"" +
                                outPath + "\" 2> \"" + errPath + "\"";
    // cmd drops the outer quotes of a command line that starts with one.
    return system(("\"" + command + "\"").c_str());
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

int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath) {
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
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
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

} // namespace tools
