// readrace_compare --merge: many machines' JSON reports as one table.
#pragma once

#include "report/compare_json.h"
#include "report/markdown_report.h"
#include "report/html_report.h"

#include <string>
#include <vector>

namespace tools {

// The largest report the merge reads, and how deeply its values may nest.
constexpr size_t LargestReport = 64ull << 20;
constexpr int DeepestReport = 64;

// Reads one report's text as untrusted input: parses it (no deeper than DeepestReport),
// checks it (CheckReport) and adds its rows to *rows. "" when done, otherwise why it is not a
// report the merge can read; never a library's own words.
std::string ReadReportRows(const std::string& text, Json* report, TableRows* rows);

// Reads the reports, prints the table (or, with json, one JSON object of its rows) on standard
// output and writes the Markdown table and the HTML page where asked. Returns the exit status: 2
// naming the first file that is not a report, or that repeats one (the same host and start), and
// why.
int MergeReports(const std::string& program, const std::vector<std::string>& paths, bool json,
                 const std::string& markdownPath, const std::string& htmlPath = "",
                 const PageOrigin& origin = {});

} // namespace tools
