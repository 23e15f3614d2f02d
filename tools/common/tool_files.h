// What the companion tools need of the file system and of processes beyond the standard library,
// per system: common/ holds what every system shares, platform/<system>/ the rest.
//
// One way to fail, in every companion: an operation that can fail returns "" when done or else
// the reason in the system's words, and hands its results back through pointers. The tool's
// driver, which alone speaks to the user, says the reason through Complain with the name it is
// about and passes the exit status up (0, or 1 for a failure, 2 for a refused request, 128 plus
// the signal after an interrupt).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tools {

// Creates path for writing, in *file, only if nothing is at path, never through a symbolic link.
std::string CreateNewFile(const std::string& path, int* file);
// Makes a directory that did not exist before, prefix followed by random characters, readable by
// this user alone (mkdtemp), and puts its path in *path.
std::string MakeFreshDirectory(const std::string& prefix, std::string* path);
// One write call, retried where a signal interrupts it: bytes written, or -1 with errno set.
// WriteAll's own step; call WriteAll.
long WriteSome(int file, const void* data, size_t size);
std::string WriteAll(int file, const void* data, size_t size);
// Writes the file's data to storage.
std::string SyncFile(int file);
std::string CloseFile(int file);
// Drops the file's pages from the cache: "" when done, otherwise the system's reason.
// On Windows this opens the file unbuffered, which makes its file systems drop the cached pages.
std::string EvictFile(const std::string& path);
// Writes a directory's entries (a rename) to storage, where the system allows it.
void SyncDirectory(const std::string& path);
bool IsTerminal(int descriptor);
// Bytes allocated on storage for the file, or -1 where unknown.
long long AllocatedBytes(const std::string& path);
// The text of the system's last error (errno, or GetLastError on Windows).
std::string LastErrorText();

// ".exe" on Windows, "" elsewhere.
const char* ExecutableSuffix();

// The directory that holds the running program.
std::string SelfDirectory();

// An advisory lock on a directory: one readrace run per directory at a time.
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

// This process's id, which makes its temporary names its own.
long ProcessId();

// Holds SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and closing the console on Windows) back
// from the moment it is first called, so that the tool can clean up before it ends; later calls
// return the signal that came since, or 0. The exit status for a signal is 128 plus its number.
int PendingInterrupt();

// Runs program with no arguments in directory, its standard output and error in two new files
// (what is at those paths is replaced: they belong to the caller's own fresh directory); returns
// its exit status, or -1 when it could not be run or ended abnormally. The program and all it
// starts are stopped together, and waited for, when it runs past timeoutSeconds (*timedOut is
// then true) or when an interrupt (as PendingInterrupt) comes, which is put in *interrupt, else
// 0 is. Stopping asks first (SIGTERM; Ctrl-Break on Windows), then, after StopGraceSeconds,
// ends them outright.
constexpr double StopGraceSeconds = 2;
int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath, double timeoutSeconds,
                   int* interrupt, bool* timedOut);
// The same for a command: the program, found on the PATH where it names no folder, then its
// arguments. *peakKiB is the program's peak memory in KiB (getrusage's resident ru_maxrss; on
// Windows the peak committed memory of the largest process in its job), or -1 where unknown.
int RunCommandInDirectory(const std::vector<std::string>& command, const std::string& directory,
                          const std::string& outPath, const std::string& errPath,
                          double timeoutSeconds, int* interrupt, bool* timedOut,
                          long long* peakKiB);

} // namespace tools
