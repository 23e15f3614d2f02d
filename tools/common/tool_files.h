// What the companion tools need of the file system and of processes beyond the standard library,
// per system: common/ holds what every system shares, platform/<system>/ the rest.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// Creates path for writing only if it does not exist; -1 with errno set on failure.
int CreateNewFile(const std::string& path);
// One write call, retried where a signal interrupts it: bytes written, or -1.
long WriteSome(int file, const void* data, size_t size);
bool WriteAll(int file, const void* data, size_t size);
// Writes the file's data to storage.
bool SyncFile(int file);
bool CloseFile(int file);
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

// Holds SIGINT and SIGTERM (Ctrl-C and Ctrl-Break on Windows) back from the moment it is first
// called, so that the tool can clean up before it ends; later calls return the signal that came
// since, or 0. The exit status for a signal is 128 plus its number.
int PendingInterrupt();

// Runs program with no arguments in directory, its standard output and error in the two
// files; returns its exit status, or -1 when it could not be run or ended abnormally. An
// interrupt that comes meanwhile (as PendingInterrupt) stops the program and is put in
// *interrupt, else 0 is.
int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath, int* interrupt);

} // namespace tools
