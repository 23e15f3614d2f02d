// The tables the reports show, as rows of cells that each format lays out its own way: a
// comparison's summary, and a merge's rows per report or per group of reports.
#pragma once

#include "report/charts/charts.h"
#include "report/report.h"

#include <span>
#include <string>
#include <vector>

namespace tools {

using TableRows = std::vector<std::vector<std::string>>;

// One row per size and deliverable: medians of both phases, the speed-up and the conclusion.
TableRows SummaryRows(std::span<const Comparison> comparisons);
std::vector<std::string> SummaryHeader(std::span<const Comparison> comparisons);

// Past this many reports a table of every host is too long to read: the merge points to
// --group-by, and the page draws groups.
constexpr size_t ManyReports = 200;

// The merged table's rows of one report: a row per size and program.
void AddRows(const CheckedReport& report, TableRows* rows);

// "host,fs,..." as keys; "" when each is one of the known keys, else what is wrong.
std::string ParseGroupKeys(const std::string& text, std::vector<std::string>* keys);
// A key's field in the merge's JSON.
const char* GroupJsonKey(const std::string& key);

// The verdicts in the order the tables show their shares.
inline constexpr Verdict Verdicts[] = {Verdict::Parallel, Verdict::Serial, Verdict::Equivalent,
                                       Verdict::Unclear};

// One group of reports and programs, by the keys' values.
struct GroupSummary {
    std::vector<std::string> values; // one per key
    size_t hosts = 0;                // labels
    size_t reports = 0;
    double shares[4] = {}; // of each verdict, by its value
    Verdict commonest = Verdict::Unclear;
    std::vector<double> speedups; // each report's median, per size and program
    double median = 0, min = 0, max = 0;
    double margin = 0; // the widest of its reports'
};

// One row per group of the rows' reports and programs: the keys' values, the count of hosts
// (labels) and reports, the share of each verdict, and the median and range of the speed-ups.
struct GroupTable {
    std::vector<std::string> keys;
    std::vector<std::string> header;
    TableRows rows;
    std::vector<GroupSummary> groups; // the same, with numbers as numbers
    // The page's chart: each group's reports' speed-ups as dots, their median and range as its
    // line, coloured by the commonest verdict.
    std::vector<SpeedupRow> chart;
};
GroupTable GroupReports(const std::vector<CheckedReport>& reports,
                        const std::vector<std::string>& keys);

// A merge's table: a row per report, size and program, or with --group-by one per group. For a
// page (forPage), more than ManyReports reports are grouped even without --group-by, since a
// chart of every host would be unreadable; grouped says which it is.
struct FleetTable {
    std::vector<std::string> header;
    TableRows rows;
    std::vector<Verdict> verdicts; // each row's, when not grouped
    bool grouped = false;
    std::vector<std::string> keys;    // when grouped
    std::vector<GroupSummary> groups; // when grouped
    std::vector<SpeedupRow> chart;    // the groups' chart, when grouped
};
FleetTable MergedTable(const MergeReport& report, bool forPage);

// The merge's speed-up chart: the groups' where the table is grouped, else a row per report,
// size and program, labelled by host and told apart by file name where two share a label.
std::vector<SpeedupRow> FleetChart(const MergeReport& report, const FleetTable& table);

} // namespace tools
