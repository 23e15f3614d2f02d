// readrace_compare --merge: many machines' JSON reports as one table; --check: each report
// verified against its own runs.
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

// Past this many reports a table of every host is too long to read: the merge points to
// --group-by, and the page draws groups.
constexpr size_t ManyReports = 200;

// Why a report was not taken.
enum class Refusal { None, Unreadable, Disagrees };

// Reads one report's text as untrusted input: parses it (no deeper than DeepestReport), checks
// its fields (CheckReport) and its summaries against its runs (VerifyReport). "" with *report
// filled in when it holds; otherwise why not, never a library's own words, and in *refusal
// whether it could not be read or says what its runs do not.
std::string ReadReport(const std::string& text, PlanCache* plans, CheckedReport* report,
                       Refusal* refusal);

// The merged table's rows of one report: a row per size and program.
void AddRows(const CheckedReport& report, TableRows* rows);

struct MergeOptions {
    bool json = false;
    std::string markdownPath, htmlPath;
    // Keys of --group-by ("host", "fs", "device", "size", "program"); none for a row per
    // report, size and program.
    std::vector<std::string> groupBy;
};

// "host,fs,..." as keys; "" when each is one of the known keys, else what is wrong.
std::string ParseGroupKeys(const std::string& text, std::vector<std::string>* keys);

// One row per group of the rows' reports and programs: the keys' values, the count of hosts
// (labels) and reports, the share of each verdict, and the median and range of the speed-ups.
struct GroupTable {
    std::vector<std::string> header;
    TableRows rows;
    Json json; // the same, with numbers as numbers
    // The page's chart: each group's reports' speed-ups as dots, their median and range as its
    // line, coloured by the commonest verdict.
    std::vector<SpeedupRow> chart;
};
GroupTable GroupReports(const std::vector<CheckedReport>& reports,
                        const std::vector<std::string>& keys);

// Reads the reports, prints the table (or, with json, one JSON object of its rows) on standard
// output and writes the Markdown table and the HTML page where asked. Returns the exit status: 2
// naming the first file that is not a report, whose runs do not bear it out, or that repeats
// one (the same label, start, command line and directory), and why.
int MergeReports(const std::string& program, const std::vector<std::string>& paths,
                 const MergeOptions& options, const PageOrigin& origin = {});

// --check: one line per report on standard output, "r.json: verified (readrace_seq: serial over
// 6 runs; ...)" or what disagrees; an unreadable one named on standard error. Returns 0 when
// every report verifies, 1 when one disagrees, 2 when one cannot be read.
int CheckReports(const std::string& program, const std::vector<std::string>& paths);

} // namespace tools
