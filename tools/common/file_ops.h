// What the companion tools need of the file system beyond the standard library, per system:
// common/ holds what every system shares, platform/<system>/ the rest.
//
// One way to fail, in every companion: an operation that can fail returns "" when done or else
// the reason in the system's words, and hands its results back through pointers. The tool's
// driver, which alone speaks to the user, says the reason through Complain with the name it is
// about and passes the exit status up (0, or 1 for a failure, 2 for a refused request, 128 plus
// the signal after an interrupt).
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// The C library's error number in words, the one way every companion says it. Windows's own
// error codes have their words in platform/windows/.
std::string ErrorText(int error);

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

// This process's id, which makes its temporary names its own.
long ProcessId();

} // namespace tools
