#include "report/markdown_report.h"

#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/text_report.h"

#include <sstream>

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

std::string Fixed(double value, const char* format) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string WriteMarkdownTable(const std::string& path, const std::string& title,
                               const std::vector<std::string>& header, const TableRows& rows) {
    std::ostringstream out;
    out << "## " << MarkdownCell(title) << "\n\n" << Row(header) << "|";
    for (size_t i = 0; i < header.size(); ++i) {
        out << "---|";
    }
    out << "\n";
    for (const auto& row : rows) {
        out << Row(row);
    }
    return WriteFileWhole(path, out.str());
}

const std::vector<std::string>& SummaryHeader() {
    static const std::vector<std::string> header = {
        "file size",       "deliverable",   "runs",
        "parallel median", "serial median", "speed-up (serial / parallel, CI)",
        "verdict"};
    return header;
}

TableRows SummaryRows(const std::vector<Comparison>& comparisons) {
    TableRows rows;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            const Summary& s = d.summary;
            rows.push_back(
                {FormatSize(comparison.fileSize), d.name, std::to_string(s.runs),
                 Fixed(s.parallelMs.median, "%.1f ms, ") +
                     Fixed(s.parallelMBps.median, "%.0f MB/s"),
                 Fixed(s.serialMs.median, "%.1f ms, ") + Fixed(s.serialMBps.median, "%.0f MB/s"),
                 SpeedupCell(d.speedup), VerdictPhrase(d.speedup) + d.cacheCaveat});
        }
    }
    return rows;
}

} // namespace tools
