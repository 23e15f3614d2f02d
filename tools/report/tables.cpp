#include "report/tables.h"

#include "common/number_text.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/verdict_text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

namespace tools {

namespace {

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string Rate(double rate) {
    return Format("%.0f", rate);
}

const std::vector<std::string> Header = {
    "host",      "started (UTC)", "file system",   "device",      "label",         "directory",
    "file size", "deliverable",   "parallel MB/s", "serial MB/s", "speed-up (CI)", "verdict"};
constexpr size_t SpeedupColumn = 10;
struct GroupKey {
    const char* name;    // as --group-by takes it
    const char* title;   // its column
    const char* jsonKey; // its field in --json
};
const GroupKey GroupKeys[] = {{"host", "host", "host"},
                              {"fs", "file system", "filesystem"},
                              {"device", "device", "device"},
                              {"size", "file size", "file_size"},
                              {"program", "deliverable", "deliverable"}};

const GroupKey& FindGroupKey(const std::string& name) {
    for (const GroupKey& key : GroupKeys) {
        if (name == key.name) {
            return key;
        }
    }
    return GroupKeys[0];
}

// A program's value for a key; a host is its label, which tells cloned machines apart.
std::string KeyValue(const std::string& key, const CheckedReport& report,
                     const CheckedProgram& program) {
    if (key == "host") {
        return OrDash(report.label);
    }
    if (key == "fs") {
        return OrDash(report.machine.filesystem);
    }
    if (key == "device") {
        return OrDash(report.machine.device);
    }
    if (key == "size") {
        return FormatSize(program.fileSize);
    }
    return program.name;
}

std::string Percent(double share) {
    return Format("%.0f%%", share * 100);
}

// The merged page's groups, when there are too many reports to draw each.
std::vector<std::string> PageGroupKeys(const MergeReport& report) {
    if (!report.groupBy.empty()) {
        return report.groupBy;
    }
    const size_t reports = report.reports.size();
    return reports > ManyReports ? std::vector<std::string>{"fs", "device", "size", "program"}
                                 : std::vector<std::string>{};
}

} // namespace

const char* GroupJsonKey(const std::string& name) {
    return FindGroupKey(name).jsonKey;
}

std::vector<std::string> SummaryHeader(std::span<const Comparison> comparisons) {
    return {"file size",
            "deliverable",
            "runs",
            "parallel median",
            "serial median",
            "speed-up (serial / parallel, " + IntervalName(LevelsOf(comparisons), "CI") + ")",
            "verdict"};
}

TableRows SummaryRows(std::span<const Comparison> comparisons) {
    TableRows rows;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            const Summary& s = d.summary;
            rows.push_back(
                {FormatSize(comparison.fileSize), d.name, std::to_string(s.runs),
                 Format("%.1f ms, %.0f MB/s", s.parallelMs.median, s.parallelMBps.median),
                 Format("%.1f ms, %.0f MB/s", s.serialMs.median, s.serialMBps.median),
                 SpeedupCell(d.speedup), VerdictCell(d)});
        }
    }
    return rows;
}

void AddRows(const CheckedReport& report, TableRows* rows) {
    for (const CheckedProgram& p : report.programs) {
        rows->push_back({OrDash(report.machine.host), OrDash(report.startedAt),
                         OrDash(report.machine.filesystem), OrDash(report.machine.device),
                         OrDash(report.label), OrDash(p.directory), FormatSize(p.fileSize), p.name,
                         Rate(p.parallelMBps), Rate(p.serialMBps), SpeedupCell(p.speedup),
                         VerdictPhrase(p.speedup)});
    }
}

std::string ParseGroupKeys(const std::string& text, std::vector<std::string>* keys) {
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const bool known = std::any_of(std::begin(GroupKeys), std::end(GroupKeys),
                                       [&item](const GroupKey& key) { return item == key.name; });
        if (!known) {
            return "--group-by: '" + item + "' is not host, fs, device, size or program";
        }
        if (std::find(keys->begin(), keys->end(), item) == keys->end()) {
            keys->push_back(item);
        }
    }
    return keys->empty() ? "--group-by: give one key or more, separated by commas" : "";
}

namespace {

// Each group's reports and their verdicts and speed-ups, in the order of the keys' values.
std::vector<GroupSummary> SummarizeGroups(const std::vector<CheckedReport>& reports,
                                          const std::vector<std::string>& keys) {
    struct Group {
        std::vector<std::string> values;
        std::set<std::string> hosts;
        std::set<size_t> reports;
        size_t verdicts[4] = {};
        std::vector<double> speedups; // each report's median, per size and program
        double margin = 0;            // the widest of its reports'
    };
    std::map<std::vector<std::string>, Group> groups; // sorted by the keys' values
    for (size_t r = 0; r < reports.size(); ++r) {
        for (const CheckedProgram& program : reports[r].programs) {
            std::vector<std::string> values, order;
            for (const std::string& key : keys) {
                values.push_back(KeyValue(key, reports[r], program));
                // Sizes in the order of their bytes, not of their text.
                char bytes[24];
                snprintf(bytes, sizeof bytes, "%020llu", program.fileSize);
                order.push_back(key == "size" ? bytes : values.back());
            }
            Group& group = groups[order];
            group.values = values;
            group.hosts.insert(reports[r].label);
            group.reports.insert(r);
            group.verdicts[(int)program.speedup.verdict] += 1;
            group.speedups.push_back(program.speedup.median);
            group.margin = std::max(group.margin, program.speedup.margin);
        }
    }
    std::vector<GroupSummary> summaries;
    for (const auto& [order, group] : groups) {
        GroupSummary summary;
        summary.values = group.values;
        summary.hosts = group.hosts.size();
        summary.reports = group.reports.size();
        for (const Verdict verdict : Verdicts) {
            summary.shares[(int)verdict] =
                (double)group.verdicts[(int)verdict] / (double)group.speedups.size();
        }
        summary.commonest =
            (Verdict)(std::max_element(std::begin(group.verdicts), std::end(group.verdicts)) -
                      std::begin(group.verdicts));
        summary.speedups = group.speedups;
        summary.median = MedianOf(group.speedups);
        const auto [low, high] = std::minmax_element(group.speedups.begin(), group.speedups.end());
        summary.min = *low;
        summary.max = *high;
        summary.margin = group.margin;
        summaries.push_back(summary);
    }
    return summaries;
}

// The group's reports' speed-ups as dots, their median and range as its line, coloured by the
// commonest verdict.
SpeedupRow GroupChartRow(const GroupSummary& group) {
    SpeedupRow drawn;
    for (size_t i = 0; i < group.values.size(); ++i) {
        drawn.label += (i > 0 ? " \xc2\xb7 " : "") + group.values[i];
    }
    drawn.bar = SpeedupBar::Range;
    drawn.speedups = group.speedups;
    drawn.reports = group.reports;
    drawn.estimate.runs = (int)group.speedups.size();
    drawn.estimate.median = group.median;
    drawn.estimate.low = group.min;
    drawn.estimate.high = group.max;
    // Every report of the group that found the two ways the same did so within the widest.
    drawn.estimate.margin = group.margin;
    drawn.estimate.verdict = group.commonest;
    return drawn;
}

} // namespace

GroupTable GroupReports(const std::vector<CheckedReport>& reports,
                        const std::vector<std::string>& keys) {
    GroupTable table;
    table.keys = keys;
    for (const std::string& key : keys) {
        table.header.push_back(FindGroupKey(key).title);
    }
    for (const char* column : {"hosts", "reports", "parallel", "serial", "equivalent", "unclear",
                               "speed-up median", "speed-up range"}) {
        table.header.push_back(column);
    }
    table.groups = SummarizeGroups(reports, keys);
    for (const GroupSummary& group : table.groups) {
        std::vector<std::string> row = group.values;
        row.push_back(std::to_string(group.hosts));
        row.push_back(std::to_string(group.reports));
        for (const Verdict verdict : Verdicts) {
            row.push_back(Percent(group.shares[(int)verdict]));
        }
        row.push_back(RatioText(group.median));
        row.push_back(RangeText(group.min, group.max));
        table.rows.push_back(row);
        table.chart.push_back(GroupChartRow(group));
    }
    return table;
}

FleetTable MergedTable(const MergeReport& report, bool forPage) {
    FleetTable table;
    const std::vector<std::string> keys = forPage ? PageGroupKeys(report) : report.groupBy;
    if (!keys.empty()) {
        GroupTable groups = GroupReports(report.reports, keys);
        table.header = std::move(groups.header);
        table.rows = std::move(groups.rows);
        table.chart = std::move(groups.chart);
        table.groups = std::move(groups.groups);
        table.keys = keys;
        table.grouped = true;
        return table;
    }
    table.header = Header;
    std::vector<double> levels;
    for (const CheckedReport& checked : report.reports) {
        for (const CheckedProgram& program : checked.programs) {
            levels.push_back(program.speedup.level);
            table.verdicts.push_back(program.speedup.verdict);
        }
        AddRows(checked, &table.rows);
    }
    table.header[SpeedupColumn] = "speed-up (" + IntervalName(levels, "CI") + ")";
    return table;
}

std::vector<SpeedupRow> FleetChart(const MergeReport& report, const FleetTable& table) {
    if (table.grouped) {
        return table.chart;
    }
    std::vector<SpeedupRow> speedups;
    std::map<std::string, size_t> labels; // two reports with one label: the file tells them apart
    for (size_t r = 0; r < report.reports.size(); ++r) {
        const CheckedReport& checked = report.reports[r];
        const std::string path = r < report.paths.size() ? report.paths[r] : "";
        for (const CheckedProgram& program : checked.programs) {
            SpeedupRow drawn;
            drawn.label = (checked.label.empty() ? "?" : checked.label) + " \xc2\xb7 " +
                          FormatSize(program.fileSize) + " \xc2\xb7 " + program.name;
            if (labels[drawn.label]++ > 0 && !path.empty()) {
                drawn.label += " \xc2\xb7 " + path.substr(path.find_last_of("/\\") + 1);
            }
            drawn.speedups = program.speedups;
            drawn.estimate = program.speedup;
            speedups.push_back(drawn);
        }
    }
    return speedups;
}

} // namespace tools
