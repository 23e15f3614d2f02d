// readrace_compare --merge: many machines' JSON reports as one table.
#pragma once

#include "report/html_report.h"

#include <string>
#include <vector>

namespace tools {

// Reads the reports, prints the table (or, with json, one JSON object of its rows) on standard
// output and writes the Markdown table and the HTML page where asked. Returns the exit status: 2
// naming the first file that is not a report, and why.
int MergeReports(const std::string& program, const std::vector<std::string>& paths, bool json,
                 const std::string& markdownPath, const std::string& htmlPath = "",
                 const PageOrigin& origin = {});

} // namespace tools
