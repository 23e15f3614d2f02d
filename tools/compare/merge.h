// readrace_compare --merge and --check: many machines' reports, each read as untrusted input and
// checked against its own runs.
#pragma once

#include "compare/options.h"

namespace compare {

// Reads the reports named into *merged: 0, or 2 after naming the first file that is not a
// report, whose runs do not bear it out, or that repeats one (the same label, start, command
// line and directory), and why.
int ReadFleet(const Options& options, tools::MergeReport* merged);

// --check: one line per report on standard output, "r.json: verified (readrace_seq: serial over
// 6 runs; ...)" or what disagrees; an unreadable one named on standard error. Returns 0 when
// every report verifies, 1 when one disagrees, 2 when one cannot be read.
int CheckReports(const std::vector<std::string>& paths);

} // namespace compare
