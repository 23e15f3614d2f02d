#include "report/report.h"

#include "common/safe_text.h"
#include "report/tables.h"

namespace tools {

namespace {

std::string Row(const std::vector<std::string>& cells) {
    std::string row = "|";
    for (const std::string& cell : cells) {
        row += ' ';
        row += MarkdownCell(cell);
        row += " |";
    }
    return row + "\n";
}

// A header row and rows, as one Markdown table under its title.
std::string MarkdownTable(const std::string& title, const std::vector<std::string>& header,
                          const TableRows& rows) {
    std::string text = "## " + MarkdownCell(title) + "\n\n" + Row(header) + "|";
    for (size_t i = 0; i < header.size(); ++i) {
        text += "---|";
    }
    text += "\n";
    for (const auto& row : rows) {
        text += Row(row);
    }
    return text;
}

} // namespace

std::string RenderMarkdown(const Report& report) {
    if (report.kind == ReportKind::Merge) {
        const FleetTable table = MergedTable(report, false);
        return MarkdownTable("readrace across machines", table.header, table.rows);
    }
    return MarkdownTable("readrace on " + report.directory, SummaryHeader(report.comparisons),
                         SummaryRows(report.comparisons));
}

} // namespace tools
