// A deliverable's 23 lines, parsed: what readrace_compare works from.
#pragma once

#include "common/file_set.h"

#include <string>
#include <vector>

namespace tools {

// A run reads "0.tmp" to "9.tmp" and prints a line for each file in each phase, a total after
// each phase and the outcome.
constexpr int LinesPerRun = 2 * FileCount + 3;

struct FileTicks {
    int file; // 0 for "0.tmp" ... 9 for "9.tmp"
    long long ticks;
};

struct RunOutput {
    std::vector<FileTicks> parallel; // in the order printed
    std::vector<FileTicks> serial;   // "0.tmp" to "9.tmp"
    long long parallelTotal = 0;
    long long serialTotal = 0;
    bool parallelWorse = false;
    bool hasPercentage = false; // false for the lines that say why there is none
    long long percentage = 0;
};

// Whether the run's outcome line says what its totals give, as the program works it out: Parallel
// was worse when serial <= parallel, and the larger total times 100 (wrapping to 64 bits) over the
// smaller, truncated. Both totals must be positive.
bool OutcomeAgrees(const RunOutput& run);

// The outcome line as the program printed it, without its line break: "Outcome: Parallel was
// worse. 97% as long as serial."
std::string OutcomeLine(bool parallelWorse, bool hasPercentage, long long percentage);

// Parses a complete run's standard output (lines may end in CRLF). Returns "" on success,
// otherwise what is wrong, naming the line.
std::string ParseRunOutput(const std::string& text, RunOutput* run);

} // namespace tools
