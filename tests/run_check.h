// Parses and checks a whole run of a deliverable: its 23 lines, their orders, their totals and
// the outcome line, which is recomputed from the two printed totals.
#pragma once

#include "harness.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace runcheck {

struct FileTime {
    std::string name;
    long long ticks;
};

struct Run {
    std::vector<FileTime> parallel; // per-file lines before the parallel total
    std::vector<FileTime> serial;   // per-file lines between the totals
    bool hasParallelTotal = false, hasSerialTotal = false;
    long long parallelTotal = 0, serialTotal = 0;
    std::string outcome;                // the last line
    std::vector<std::string> malformed; // lines that fit no format
    size_t lineCount = 0;
    std::string last;
};

// Lines may end in "\r\n", as on Windows.
Run Parse(const std::string& out);

// The outcome line that two totals call for.
std::string ExpectedOutcome(long long parallel, long long serial);

// Everything a complete run promises; each broken promise is one message.
std::vector<std::string> CheckCompleteRun(const Run& run);

// Diagnostics as a sorted list of lines, so that two threads' order does not matter.
std::vector<std::string> SortedLines(const std::string& text);

} // namespace runcheck
