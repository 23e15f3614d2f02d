#include "common/tool_files.h"

#include "common/safe_text.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace tools {

// The descriptors are the C runtime's on every system, so errno holds the reason.
std::string WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        errno = 0;
        const long written = WriteSome(file, bytes, size);
        if (written <= 0) {
            // A write of nothing, with no error, means a device that takes no more.
            return std::generic_category().message(written < 0 && errno != 0 ? errno : EIO);
        }
        bytes += written;
        size -= (size_t)written;
    }
    return "";
}

int LockForRun(const std::string& program, const std::string& directory, DirectoryLock* lock) {
    const std::string problem = LockDirectory(directory, lock);
    if (problem.empty()) {
        return 0;
    }
    if (lock->busy) {
        Complain(program, directory,
                 "another readrace run is using this directory (it holds " + lock->path +
                     "); try again when it has ended");
        return 2;
    }
    Complain(program, "warning: " + lock->path,
             "cannot lock: " + problem + "; going on without the lock");
    return 0;
}

int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath, double timeoutSeconds,
                   int* interrupt, bool* timedOut) {
    long long peakKiB = -1;
    return RunCommandInDirectory({program}, directory, outPath, errPath, timeoutSeconds, interrupt,
                                 timedOut, &peakKiB);
}

} // namespace tools
