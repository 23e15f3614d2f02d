// What the companion tools need of the file system beyond the standard library, per system.
#pragma once

#include <string>

namespace tools {

// Creates path for writing only if it does not exist; -1 with errno set on failure.
int CreateNewFile(const std::string& path);
bool WriteAll(int file, const void* data, size_t size);
// Writes the file's data to storage.
bool SyncFile(int file);
bool CloseFile(int file);
// Drops the file's pages from the page cache; false where the system offers no way to.
bool EvictFile(const std::string& path);
// Writes a directory's entries (a rename) to storage, where the system allows it.
void SyncDirectory(const std::string& path);
bool IsTerminal(int descriptor);
// Bytes allocated on storage for the file, or -1 where unknown.
long long AllocatedBytes(const std::string& path);

// The directory that holds the running program.
std::string SelfDirectory();

// Runs program with no arguments in directory, its standard output and error in the two
// files; returns its exit status, or -1 when it could not be run or ended abnormally.
int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath);

} // namespace tools
