// A report, built once, and the one entry per format that renders it: text, JSON, Markdown, SVG,
// HTML and CSV each have a file of their own (report/<format>_report.cpp) with one function that
// owns all of that format's output for each kind of report, and the driver writes what they
// return where it was asked to.
#pragma once

#include "common/machine_facts.h"
#include "common/tick_clock.h"
#include "report/report_reader.h"
#include "report/verdict_text.h"
#include "runs/comparison.h"

#include <string>
#include <variant>
#include <vector>

namespace tools {

// How the report came to be, as its reader sees it.
struct PageOrigin {
    std::string commandLine; // quoted so that a shell takes it back (QuoteCommandLine)
    std::string startedAt;   // ISO 8601, UTC (IsoTimeUtc)
};

// Where and how the runs were made: what every report of a comparison or a sweep says about
// them.
struct RunContext {
    std::string directory; // as named on the command line
    TickCalibration clock;
    MachineFacts machine;
    std::string label; // the name the user gave the host (--label), or ""
    Suggestions suggest;
    PageOrigin origin;
};

// One directory's comparison.
struct ComparisonReport {
    Comparison comparison;
    RunContext context;
};

// One comparison per file size, in rising order, each in a folder of the directory.
struct SweepReport {
    std::vector<Comparison> sizes;
    RunContext context;
};

// Many machines' reports, each checked against its own runs: their files, what was read of them,
// and the keys of --group-by (none for a row per report, size and program).
struct MergeReport {
    std::vector<std::string> paths;
    std::vector<CheckedReport> reports;
    std::vector<std::string> groupBy;
    PageOrigin origin;
};

using Report = std::variant<ComparisonReport, SweepReport, MergeReport>;

// For std::visit over a Report: one lambda per kind.
template <class... Kinds> struct PerKind : Kinds... { using Kinds::operator()...; };
// clang 14 deduces no aggregate's template arguments without a guide.
template <class... Kinds> PerKind(Kinds...) -> PerKind<Kinds...>;

// Each format's whole text.
std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);
std::string RenderMarkdown(const Report& report);
std::string RenderSvg(const Report& report);
std::string RenderHtml(const Report& report);
// Every run as one row of CSV (RFC 4180).
std::string RenderCsv(const Report& report);

} // namespace tools
