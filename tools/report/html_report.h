// readrace_compare --html: one self-contained page (inline CSS and SVG, no script, nothing
// fetched) with the verdicts, the charts, the runs, the machine and how it was run.
#pragma once

#include "common/machine_facts.h"
#include "report/compare_json.h"
#include "report/svg_chart.h"
#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

// How the page came to be, as its reader sees it.
struct PageOrigin {
    std::string commandLine; // quoted so that a shell takes it back
    std::string startedAt;   // ISO 8601, UTC
};

// The arguments as one line a POSIX shell reads back as they were.
std::string QuoteCommandLine(int argc, const char* const* argv);

// A plain comparison, or a sweep. "" when written, otherwise the reason.
std::string WriteComparisonHtml(const std::string& path, const std::vector<Comparison>& comparisons,
                                bool sweep, const TickCalibration& clock,
                                const MachineFacts& machine, const PageOrigin& origin);

// --merge: the reports (verified by VerifyReport), with the merged table's header and rows. With
// groupChart, the rows are groups (GroupReports) and the chart is theirs, not a row per host.
std::string WriteMergeHtml(const std::string& path, const std::vector<std::string>& reportPaths,
                           const std::vector<CheckedReport>& reports,
                           const std::vector<std::string>& header,
                           const std::vector<std::vector<std::string>>& rows,
                           const std::vector<SpeedupRow>* groupChart, const PageOrigin& origin);

} // namespace tools
