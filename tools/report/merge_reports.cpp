#include "report/merge_reports.h"

#include "report/compare_json.h"
#include "report/markdown_report.h"
#include "common/size_text.h"
#include "report/text_report.h"

#include <cstdio>
#include <fstream>

namespace tools {

namespace {

std::string Text(const Json& value) {
    return value.is_string() ? value.get<std::string>() : "-";
}

std::string Rate(const Json& summary, const char* phase) {
    char text[32];
    snprintf(text, sizeof text, "%.0f", summary[phase]["median"].get<double>());
    return text;
}

// Rows of one report: its sweep's sizes, or its one directory.
void AddRows(const Json& report, TableRows* rows) {
    const Json& machine = report["machine"];
    std::vector<std::pair<unsigned long long, const Json*>> sizes;
    if (report.contains("sweep") && report["sweep"].is_array()) {
        for (const Json& entry : report["sweep"]) {
            sizes.push_back(
                {entry["size_bytes"].get<unsigned long long>(), &entry["deliverables"]});
        }
    } else {
        sizes.push_back(
            {report["bytes_per_phase"].get<unsigned long long>() / 10, &report["deliverables"]});
    }
    for (const auto& [size, deliverables] : sizes) {
        for (const Json& d : *deliverables) {
            const Json& summary = d["summary"];
            const Json& speedup = summary["speedup"];
            SpeedupEstimate estimate;
            estimate.median = speedup["median"].get<double>();
            estimate.low = speedup["ci95"][0].get<double>();
            estimate.high = speedup["ci95"][1].get<double>();
            rows->push_back({Text(machine["host"]), Text(machine["filesystem"]),
                             Text(machine["device"]), FormatSize(size), Text(d["name"]),
                             Rate(summary, "parallel_mb_per_s"), Rate(summary, "serial_mb_per_s"),
                             SpeedupCell(estimate), Text(speedup["conclusion"])});
        }
    }
}

const std::vector<std::string> Header = {"host",        "file system",       "device",
                                         "file size",   "deliverable",       "parallel MB/s",
                                         "serial MB/s", "speed-up (95% CI)", "conclusion"};
const std::vector<std::string> JsonKeys = {
    "host",        "filesystem",        "device",          "file_size",
    "deliverable", "parallel_mb_per_s", "serial_mb_per_s", "speedup",
    "conclusion"};

} // namespace

int MergeReports(const std::string& program, const std::vector<std::string>& paths, bool json,
                 const std::string& markdownPath, const std::string& htmlPath,
                 const PageOrigin& origin) {
    TableRows rows;
    std::vector<Json> reports; // for the page
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            fprintf(stderr, "%s: %s: cannot read the report\n", program.c_str(), path.c_str());
            return 2;
        }
        std::string problem;
        try {
            const Json report = Json::parse(in);
            problem = CheckReport(report);
            if (problem.empty()) {
                AddRows(report, &rows);
                reports.push_back(report);
            }
        } catch (const Json::exception& error) {
            problem = std::string("not a report of readrace_compare: ") + error.what();
        }
        if (!problem.empty()) {
            fprintf(stderr, "%s: %s: %s\n", program.c_str(), path.c_str(), problem.c_str());
            return 2;
        }
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
        std::vector<size_t> widths(Header.size());
        for (size_t i = 0; i < Header.size(); ++i) {
            widths[i] = Header[i].size();
            for (const auto& row : rows) {
                widths[i] = std::max(widths[i], row[i].size());
            }
        }
        auto print = [&](const std::vector<std::string>& cells) {
            for (size_t i = 0; i < cells.size(); ++i) {
                if (i + 1 < cells.size()) {
                    printf("%-*s  ", (int)widths[i], cells[i].c_str());
                } else {
                    printf("%s\n", cells[i].c_str());
                }
            }
        };
        print(Header);
        for (const auto& row : rows) {
            print(row);
        }
    }
    if (!markdownPath.empty() &&
        !WriteMarkdownTable(markdownPath, "readrace across machines", Header, rows)) {
        fprintf(stderr, "%s: %s: cannot write the Markdown table\n", program.c_str(),
                markdownPath.c_str());
        return 1;
    }
    const std::string unwritten =
        htmlPath.empty() ? "" : WriteMergeHtml(htmlPath, paths, reports, Header, rows, origin);
    if (!unwritten.empty()) {
        fprintf(stderr, "%s: %s: %s\n", program.c_str(), htmlPath.c_str(), unwritten.c_str());
        return 1;
    }
    return fflush(stdout) == 0 ? 0 : 1;
}

} // namespace tools
