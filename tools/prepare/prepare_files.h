// Writing the ten input files: readrace_prepare's job, and the size sweep's for each size.
#pragma once

#include <string>

namespace tools {

// readrace reads a file whole only while its length fits 32 bits and is not all ones.
constexpr unsigned long long LargestFileSize = 0xFFFFFFFEull;

// A size each of the ten files can have: at least a byte, for there is something to time, and
// at most LargestFileSize.
constexpr bool IsFileSize(unsigned long long size) {
    return size > 0 && size <= LargestFileSize;
}

// Those bounds in words, for --help.
std::string FileSizeBounds();

// The "Sizes:" paragraph that both tools' --help end with, before their examples.
std::string SizesHelp();

// Writes "0.tmp" to "9.tmp" of size incompressible bytes each into dir, making dir and its
// parents where they are missing. Each file is written under a hidden temporary name, flushed
// to storage, renamed into place and evicted from the cache. What goes wrong is said on standard
// error as "<program>: ...". dir is locked meanwhile (LockForRun). Returns 0 when done, 2 when
// refused before anything is written (not a directory, another run there, files there without
// force, too little room), 1 when writing failed, and
// 128 plus the signal when SIGINT or SIGTERM came: the file being written is then removed, and
// those already in place stay, complete.
int PrepareFiles(const std::string& program, const std::string& dir, unsigned long long size,
                 bool force, bool progress);

} // namespace tools
