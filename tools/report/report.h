// A report, built once, and the one entry per format that renders it: text, JSON, Markdown, SVG
// and HTML each have a file of their own (report/<format>_report.cpp) with one function over
// this struct, and the driver writes what they return where it was asked to.
#pragma once

#include "common/machine_facts.h"
#include "common/tick_clock.h"
#include "report/report_reader.h"
#include "report/verdict_text.h"
#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

// How the report came to be, as its reader sees it.
struct PageOrigin {
    std::string commandLine; // quoted so that a shell takes it back (QuoteCommandLine)
    std::string startedAt;   // ISO 8601, UTC (IsoTimeUtc)
};

enum class ReportKind {
    Comparison, // one directory
    Sweep,      // one directory per file size, in rising order
    Merge       // many machines' reports, each checked against its own runs
};

struct Report {
    ReportKind kind = ReportKind::Comparison;
    // A comparison or a sweep: what was measured, on what, with which clock.
    std::vector<Comparison> comparisons;
    std::string directory; // as named on the command line
    TickCalibration clock;
    MachineFacts machine;
    std::string label; // the name the user gave the host (--label), or ""
    Suggestions suggest;
    PageOrigin origin;
    // A merge: the reports' files and what was read of them, and the keys of --group-by (none
    // for a row per report, size and program).
    std::vector<std::string> paths;
    std::vector<CheckedReport> reports;
    std::vector<std::string> groupBy;
};

// Each format's whole text.
std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);
std::string RenderMarkdown(const Report& report);
std::string RenderSvg(const Report& report);
std::string RenderHtml(const Report& report);

} // namespace tools
