#include "common/tool_files.h"

#include <cstdio>

namespace tools {

bool WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        const long written = WriteSome(file, bytes, size);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= (size_t)written;
    }
    return true;
}

int LockForRun(const std::string& program, const std::string& directory, DirectoryLock* lock) {
    const std::string problem = LockDirectory(directory, lock);
    if (problem.empty()) {
        return 0;
    }
    if (lock->busy) {
        fprintf(stderr,
                "%s: %s: another readrace run is using this directory (it holds %s); try again "
                "when it has ended\n",
                program.c_str(), directory.c_str(), lock->path.c_str());
        return 2;
    }
    fprintf(stderr, "%s: warning: %s: cannot lock: %s; going on without the lock\n",
            program.c_str(), lock->path.c_str(), problem.c_str());
    return 0;
}

} // namespace tools
