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
    return std::visit(
        PerKind{[](const ComparisonReport& r) {
                    const std::span<const Comparison> one(&r.comparison, 1);
                    return MarkdownTable("readrace on " + r.context.directory, SummaryHeader(one),
                                         SummaryRows(one));
                },
                [](const SweepReport& r) {
                    return MarkdownTable("readrace on " + r.context.directory,
                                         SummaryHeader(r.sizes), SummaryRows(r.sizes));
                },
                [](const MergeReport& r) {
                    const FleetTable table = MergedTable(r, false);
                    return MarkdownTable("readrace across machines", table.header, table.rows);
                }},
        report);
}

} // namespace tools
