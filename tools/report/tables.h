// The tables the reports show, as rows of cells that each format lays out its own way: a
// comparison's summary, and a merge's rows per report or per group of reports.
#pragma once

#include "report/charts/charts.h"
#include "report/report.h"

#include <string>
#include <vector>

namespace tools {

using TableRows = std::vector<std::vector<std::string>>;

// One row per size and deliverable: medians of both phases, the speed-up and the conclusion.
TableRows SummaryRows(const std::vector<Comparison>& comparisons);
std::vector<std::string> SummaryHeader(const std::vector<Comparison>& comparisons);

// Past this many reports a table of every host is too long to read: the merge points to
// --group-by, and the page draws groups.
constexpr size_t ManyReports = 200;

// The merged table's rows of one report: a row per size and program.
void AddRows(const CheckedReport& report, TableRows* rows);

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

// A merge's table: a row per report, size and program, or with --group-by one per group. For a
// page (forPage), more than ManyReports reports are grouped even without --group-by, since a
// chart of every host would be unreadable; grouped says which it is.
struct FleetTable {
    std::vector<std::string> header;
    TableRows rows;
    Json json;                     // the same, as --json prints it
    std::vector<SpeedupRow> chart; // the groups' chart, when grouped
    bool grouped = false;
};
FleetTable MergedTable(const Report& report, bool forPage);

// The merge's speed-up chart: the groups' where the table is grouped, else a row per report,
// size and program, labelled by host and told apart by file name where two share a label.
std::vector<SpeedupRow> FleetChart(const Report& report, const FleetTable& table);

// The rows under the header in columns two spaces apart, each cell as TerminalText shows it.
std::string AlignedTable(const std::vector<std::string>& header, const TableRows& rows);

} // namespace tools
