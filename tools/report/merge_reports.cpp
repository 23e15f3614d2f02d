#include "report/merge_reports.h"

#include "common/input_file.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/text_report.h"

#include <cstdio>

namespace tools {

namespace {

std::string Text(const Json& value) {
    return value.is_string() ? value.get<std::string>() : "-";
}

std::string Rate(const Json& summary, const char* phase) {
    char text[32];
    snprintf(text, sizeof text, "%.0f", summary.at(phase).at("median").get<double>());
    return text;
}

// Rows of one checked report: its sweep's sizes, or its one directory.
void AddRows(const Json& report, TableRows* rows) {
    const Json& machine = report.at("machine");
    const std::string started = report.contains("started_at") ? Text(report.at("started_at")) : "-";
    for (const auto& [size, deliverables] : ReportSizes(report)) {
        for (const Json& d : *deliverables) {
            const Json& summary = d.at("summary");
            const Json& speedup = summary.at("speedup");
            const SpeedupEstimate estimate = SpeedupFromJson(speedup);
            rows->push_back({Text(machine.at("host")), started, Text(machine.at("filesystem")),
                             Text(machine.at("device")), FormatSize(size), Text(d.at("name")),
                             Rate(summary, "parallel_mb_per_s"), Rate(summary, "serial_mb_per_s"),
                             SpeedupCell(estimate),
                             speedup.contains("verdict") ? Text(speedup.at("verdict")) : "-"});
        }
    }
}

const std::vector<std::string> Header = {
    "host",        "started (UTC)", "file system", "device",        "file size",
    "deliverable", "parallel MB/s", "serial MB/s", "speed-up (CI)", "verdict"};
const std::vector<std::string> JsonKeys = {
    "host",        "started_at",        "filesystem",      "device",  "file_size",
    "deliverable", "parallel_mb_per_s", "serial_mb_per_s", "speedup", "verdict"};

// The same machine's report of the same command in the same directory at the same start, or
// the very same report again. Start times are to the second, so a sweep and a plain comparison
// begun in one second on one host are still two reports.
bool SameReport(const Json& a, const Json& b) {
    const auto key = [](const Json& report) {
        const auto field = [&report](const char* name) {
            return report.contains(name) ? Text(report.at(name)) : "";
        };
        return Text(report.at("machine").at("host")) + "\n" + field("started_at") + "\n" +
               field("command_line") + "\n" + field("directory");
    };
    return a.contains("started_at") && b.contains("started_at") ? key(a) == key(b) : a == b;
}

void PrintTable(const TableRows& rows) {
    TableRows shown = {Header};
    for (const auto& row : rows) {
        shown.emplace_back();
        for (const std::string& cell : row) {
            shown.back().push_back(TerminalText(cell));
        }
    }
    std::vector<size_t> widths(Header.size());
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i + 1 < row.size()) {
                printf("%-*s  ", (int)widths[i], row[i].c_str());
            } else {
                printf("%s\n", row[i].c_str());
            }
        }
    }
}

} // namespace

std::string ReadReportRows(const std::string& text, Json* report, TableRows* rows) {
    bool tooDeep = false;
    // Values nested past the limit are dropped as they are parsed, so no deep tree is built.
    const Json::parser_callback_t limit = [&tooDeep](int depth, Json::parse_event_t, Json&) {
        tooDeep = tooDeep || depth > DeepestReport;
        return !tooDeep;
    };
    try {
        *report = Json::parse(text, limit);
    } catch (const Json::parse_error& error) {
        return "not a report of readrace_compare: not JSON (at byte " + std::to_string(error.byte) +
               ")";
    } catch (const Json::exception&) {
        return "not a report of readrace_compare: not JSON";
    }
    if (tooDeep) {
        return "values nested deeper than " + std::to_string(DeepestReport) + " levels";
    }
    const std::string problem = CheckReport(*report);
    if (!problem.empty()) {
        return problem;
    }
    try {
        AddRows(*report, rows);
    } catch (const Json::exception&) {
        return "not a report of readrace_compare";
    }
    return "";
}

int MergeReports(const std::string& program, const std::vector<std::string>& paths, bool json,
                 const std::string& markdownPath, const std::string& htmlPath,
                 const PageOrigin& origin) {
    TableRows rows;
    std::vector<Json> reports; // to find repeats, and for the page
    for (const std::string& path : paths) {
        std::string text;
        std::string problem = ReadRegularFile(path, LargestReport, &text);
        Json report;
        if (problem.empty()) {
            problem = ReadReportRows(text, &report, &rows);
        }
        for (size_t i = 0; problem.empty() && i < reports.size(); ++i) {
            if (SameReport(reports[i], report)) {
                problem = "the same report as " + paths[i];
            }
        }
        if (!problem.empty()) {
            fprintf(stderr, "%s: %s: %s\n", program.c_str(), TerminalText(path).c_str(),
                    TerminalText(problem).c_str());
            return 2;
        }
        reports.push_back(std::move(report));
    }
    if (json) {
        Json merged = {{"reports", paths}, {"rows", Json::array()}};
        for (const auto& row : rows) {
            Json entry = Json::object();
            for (size_t i = 0; i < Header.size(); ++i) {
                entry[JsonKeys[i]] = row[i];
            }
            merged["rows"].push_back(entry);
        }
        fputs(DumpJson(merged).c_str(), stdout);
    } else {
        PrintTable(rows);
    }
    if (!markdownPath.empty()) {
        const std::string problem =
            WriteMarkdownTable(markdownPath, "readrace across machines", Header, rows);
        if (!problem.empty()) {
            fprintf(stderr, "%s: %s: cannot write the Markdown table: %s\n", program.c_str(),
                    TerminalText(markdownPath).c_str(), problem.c_str());
            return CloseStdout(program, 1);
        }
    }
    const std::string unwritten =
        htmlPath.empty() ? "" : WriteMergeHtml(htmlPath, paths, reports, Header, rows, origin);
    if (!unwritten.empty()) {
        fprintf(stderr, "%s: %s: %s\n", program.c_str(), TerminalText(htmlPath).c_str(),
                unwritten.c_str());
        return CloseStdout(program, 1);
    }
    return CloseStdout(program, 0);
}

} // namespace tools
