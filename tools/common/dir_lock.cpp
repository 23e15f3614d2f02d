#include "common/dir_lock.h"

#include "common/safe_text.h"

namespace tools {

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

} // namespace tools
