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
const std::vector<std::string> JsonKeys = {
    "host",      "started_at",  "filesystem",        "device",          "label",   "directory",
    "file_size", "deliverable", "parallel_mb_per_s", "serial_mb_per_s", "speedup", "verdict"};

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

const Verdict Verdicts[] = {Verdict::Parallel, Verdict::Serial, Verdict::Equivalent,
                            Verdict::Unclear};

std::string Percent(double share) {
    return Format("%.0f%%", share * 100);
}

// The merged page's groups, when there are too many reports to draw each.
std::vector<std::string> PageGroupKeys(const Report& report) {
    if (!report.groupBy.empty()) {
        return report.groupBy;
    }
    const size_t reports = report.reports.size();
    return reports > ManyReports ? std::vector<std::string>{"fs", "device", "size", "program"}
                                 : std::vector<std::string>{};
}

} // namespace

std::vector<std::string> SummaryHeader(const std::vector<Comparison>& comparisons) {
    return {"file size",     "deliverable",
            "runs",          "parallel median",
            "serial median", "speed-up (serial / parallel, " + CiName(LevelsOf(comparisons)) + ")",
            "verdict"};
}

TableRows SummaryRows(const std::vector<Comparison>& comparisons) {
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
                         OrDash(report.label), OrDash(report.directory), FormatSize(p.fileSize),
                         p.name, Rate(p.parallelMBps), Rate(p.serialMBps), SpeedupCell(p.speedup),
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

GroupTable GroupReports(const std::vector<CheckedReport>& reports,
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
    GroupTable table;
    for (const std::string& key : keys) {
        table.header.push_back(FindGroupKey(key).title);
    }
    for (const char* column : {"hosts", "reports", "parallel", "serial", "equivalent", "unclear",
                               "speed-up median", "speed-up range"}) {
        table.header.push_back(column);
    }
    table.json = Json::array();
    for (const auto& [order, group] : groups) {
        const std::vector<std::string>& values = group.values;
        std::vector<std::string> row = values;
        Json entry = Json::object();
        for (size_t i = 0; i < keys.size(); ++i) {
            entry[FindGroupKey(keys[i]).jsonKey] = values[i];
        }
        row.push_back(std::to_string(group.hosts.size()));
        row.push_back(std::to_string(group.reports.size()));
        entry["hosts"] = group.hosts.size();
        entry["reports"] = group.reports.size();
        Json shares = Json::object();
        for (const Verdict verdict : Verdicts) {
            const double share =
                (double)group.verdicts[(int)verdict] / (double)group.speedups.size();
            row.push_back(Percent(share));
            shares[VerdictName(verdict)] = share;
        }
        entry["verdicts"] = shares;
        const double median = MedianOf(group.speedups);
        const auto [low, high] = std::minmax_element(group.speedups.begin(), group.speedups.end());
        row.push_back(RatioText(median));
        row.push_back(RatioText(*low) + "-" + RatioText(*high));
        entry["speedup"] = {{"median", median}, {"min", *low}, {"max", *high}};
        SpeedupRow drawn;
        for (size_t i = 0; i < values.size(); ++i) {
            drawn.label += (i > 0 ? " \xc2\xb7 " : "") + values[i];
        }
        drawn.bar = SpeedupBar::Range;
        drawn.speedups = group.speedups;
        drawn.estimate.runs = (int)group.speedups.size();
        drawn.estimate.median = median;
        drawn.estimate.low = *low;
        drawn.estimate.high = *high;
        // Every report of the group that found the two ways the same did so within the widest.
        drawn.estimate.margin = group.margin;
        drawn.estimate.verdict =
            (Verdict)(std::max_element(std::begin(group.verdicts), std::end(group.verdicts)) -
                      std::begin(group.verdicts));
        table.chart.push_back(drawn);
        table.rows.push_back(row);
        table.json.push_back(entry);
    }
    return table;
}

std::string AlignedTable(const std::vector<std::string>& header, const TableRows& rows) {
    TableRows shown = {header};
    for (const auto& row : rows) {
        shown.emplace_back();
        for (const std::string& cell : row) {
            shown.back().push_back(TerminalText(cell));
        }
    }
    std::vector<size_t> widths(header.size());
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string out;
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            out += row[i];
            if (i + 1 < row.size()) {
                out.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        out += "\n";
    }
    return out;
}

FleetTable MergedTable(const Report& report, bool forPage) {
    FleetTable table;
    const std::vector<std::string> keys = forPage ? PageGroupKeys(report) : report.groupBy;
    if (!keys.empty()) {
        GroupTable groups = GroupReports(report.reports, keys);
        table.header = std::move(groups.header);
        table.rows = std::move(groups.rows);
        table.chart = std::move(groups.chart);
        table.json = {{"reports", report.paths}, {"group_by", keys}, {"groups", groups.json}};
        table.grouped = true;
        return table;
    }
    table.header = Header;
    std::vector<double> levels;
    for (const CheckedReport& checked : report.reports) {
        for (const CheckedProgram& program : checked.programs) {
            levels.push_back(program.speedup.level);
        }
    }
    table.header[SpeedupColumn] = "speed-up (" + CiName(levels) + ")";
    for (const CheckedReport& checked : report.reports) {
        AddRows(checked, &table.rows);
    }
    // Scripts read the verdict by its name, as the reports state it, not by its phrase.
    std::vector<const char*> names;
    for (const CheckedReport& checked : report.reports) {
        for (const CheckedProgram& program : checked.programs) {
            names.push_back(VerdictName(program.speedup.verdict));
        }
    }
    table.json = {{"reports", report.paths}, {"rows", Json::array()}};
    for (size_t r = 0; r < table.rows.size(); ++r) {
        Json entry = Json::object();
        for (size_t i = 0; i < Header.size(); ++i) {
            entry[JsonKeys[i]] = table.rows[r][i];
        }
        entry["verdict"] = names[r];
        table.json["rows"].push_back(entry);
    }
    return table;
}

std::vector<SpeedupRow> FleetChart(const Report& report, const FleetTable& table) {
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
