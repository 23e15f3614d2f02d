// The bench's runs of other programs (the deliverables and fio), each with its output in the
// run's scratch folder, and its way of saying what failed.
#pragma once

#include <string>
#include <vector>

namespace bench {

// What a failed system call left in errno, after what was tried; returns the exit status, 1.
int Die(const std::string& what);

// Runs a command in dir, its output kept in the scratch folder: its standard output in *text,
// its exit status in *exitStatus (-1 where it could not run) and its peak memory in *peakKiB.
// Returns 0, or the bench's exit status after an interrupt or a run that would not end.
int RunIn(const std::string& scratch, const std::vector<std::string>& command,
          const std::string& dir, std::string* text, long long* peakKiB, int* exitStatus);

} // namespace bench
