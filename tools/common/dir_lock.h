// An advisory lock on a directory: one readrace run per directory at a time.
#pragma once

#include <string>

namespace tools {

struct DirectoryLock {
    std::string path; // of the lock file in the directory
    long long handle = -1;
    bool made = false; // the lock file was made by this lock, so it is removed with it
    bool busy = false; // another run holds it
};
constexpr const char* LockFileName = ".readrace.lock";
// Takes the lock without waiting: "" when taken, else why not (busy when another run holds it).
std::string LockDirectory(const std::string& directory, DirectoryLock* lock);
void UnlockDirectory(DirectoryLock* lock);
// Takes the lock for a tool's run in directory: 0, or 2 after saying that another run holds it.
// Where no lock can be taken at all (a read-only directory), it warns and goes on unlocked.
int LockForRun(const std::string& program, const std::string& directory, DirectoryLock* lock);

} // namespace tools
