#include "report/merge_reports.h"

#include "common/input_file.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/text_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>

namespace tools {

namespace {

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string Rate(double rate) {
    char text[32];
    snprintf(text, sizeof text, "%.0f", rate);
    return text;
}

const std::vector<std::string> Header = {
    "host",      "started (UTC)", "file system",   "device",      "label",         "directory",
    "file size", "deliverable",   "parallel MB/s", "serial MB/s", "speed-up (CI)", "verdict"};
const std::vector<std::string> JsonKeys = {
    "host",      "started_at",  "filesystem",        "device",          "label",   "directory",
    "file_size", "deliverable", "parallel_mb_per_s", "serial_mb_per_s", "speedup", "verdict"};

// The same label's report of the same command in the same directory at the same start. Start
// times are to the second, so a sweep and a plain comparison begun in one second on one host
// are still two reports; one without a start is a repeat only of the very same text.
std::string RepeatKey(const CheckedReport& report, const std::string& text) {
    if (report.startedAt.empty()) {
        return "text\n" + text;
    }
    return "report\n" + report.label + "\n" + report.startedAt + "\n" + report.commandLine + "\n" +
           report.directory;
}

void PrintTable(const std::vector<std::string>& header, const TableRows& rows) {
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
    fputs(out.c_str(), stdout);
}

// Reads one file as a report; "" when it holds.
std::string ReadReportFile(const std::string& path, PlanCache* plans, CheckedReport* report,
                           Refusal* refusal, std::string* text) {
    *refusal = Refusal::Unreadable;
    const std::string problem = ReadRegularFile(path, LargestReport, text);
    return problem.empty() ? ReadReport(*text, plans, report, refusal) : problem;
}

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
    char text[16];
    snprintf(text, sizeof text, "%.0f%%", share * 100);
    return text;
}

// The merged page's groups, when there are too many reports to draw each.
std::vector<std::string> PageGroupKeys(const MergeOptions& options, size_t reports) {
    if (!options.groupBy.empty()) {
        return options.groupBy;
    }
    return reports > ManyReports ? std::vector<std::string>{"fs", "device", "size", "program"}
                                 : std::vector<std::string>{};
}

// Parses a report into a tree, but stops at values nested past DeepestReport, so that no deep tree
// is built, and leaves out the per-file times (the "parallel" and "serial" lists of ticks), which
// nothing here reads and which are most of a report's values.
struct ReportParser {
    using Dom = nlohmann::detail::json_sax_dom_parser<Json>;
    Dom dom;
    int depth = 0;
    int skipping = 0;      // open containers of a value left out
    bool skipNext = false; // the value after this key is left out
    bool tooDeep = false;
    size_t errorByte = 0;

    explicit ReportParser(Json& root) : dom(root, false) {}

    // Whether the value that starts now is left out.
    bool Skip(bool opens) {
        if (skipping > 0) {
            skipping += opens ? 1 : 0;
            return true;
        }
        if (skipNext) {
            skipNext = false;
            skipping = opens ? 1 : 0;
            return true;
        }
        return false;
    }
    bool Open() {
        tooDeep = tooDeep || ++depth > DeepestReport;
        return !tooDeep;
    }

    bool null() {
        return Skip(false) || dom.null();
    }
    bool boolean(bool value) {
        return Skip(false) || dom.boolean(value);
    }
    bool number_integer(Json::number_integer_t value) {
        return Skip(false) || dom.number_integer(value);
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return Skip(false) || dom.number_unsigned(value);
    }
    bool number_float(Json::number_float_t value, const std::string& text) {
        return Skip(false) || dom.number_float(value, text);
    }
    bool string(std::string& value) {
        return Skip(false) || dom.string(value);
    }
    bool binary(Json::binary_t& value) {
        return Skip(false) || dom.binary(value);
    }
    bool start_object(size_t elements) {
        return Open() && (Skip(true) || dom.start_object(elements));
    }
    bool start_array(size_t elements) {
        return Open() && (Skip(true) || dom.start_array(elements));
    }
    bool end_object() {
        --depth;
        return skipping > 0 ? (--skipping, true) : dom.end_object();
    }
    bool end_array() {
        --depth;
        return skipping > 0 ? (--skipping, true) : dom.end_array();
    }
    bool key(std::string& name) {
        if (skipping > 0) {
            return true;
        }
        skipNext = name == "parallel" || name == "serial";
        return skipNext || dom.key(name);
    }
    bool parse_error(size_t byte, const std::string&, const nlohmann::detail::exception&) {
        errorByte = byte;
        return false;
    }
};

} // namespace

std::string ReadReport(const std::string& text, PlanCache* plans, CheckedReport* report,
                       Refusal* refusal) {
    *refusal = Refusal::Unreadable;
    Json json;
    ReportParser parser(json);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(text, &parser);
    } catch (const Json::exception&) {
        parsed = false;
    }
    if (parser.tooDeep) {
        return "values nested deeper than " + std::to_string(DeepestReport) + " levels";
    }
    if (!parsed) {
        return "not a report of readrace_compare: not JSON" +
               (parser.errorByte > 0 ? " (at byte " + std::to_string(parser.errorByte) + ")"
                                     : std::string());
    }
    const std::string problem = CheckReport(json);
    if (!problem.empty()) {
        return problem;
    }
    *refusal = Refusal::Disagrees;
    try {
        const std::string differs = VerifyReport(json, plans, report);
        if (!differs.empty()) {
            return differs;
        }
    } catch (const Json::exception&) {
        *refusal = Refusal::Unreadable;
        return "not a report of readrace_compare";
    }
    *refusal = Refusal::None;
    return "";
}

void AddRows(const CheckedReport& report, TableRows* rows) {
    for (const CheckedProgram& p : report.programs) {
        rows->push_back({OrDash(report.machine.host), OrDash(report.startedAt),
                         OrDash(report.machine.filesystem), OrDash(report.machine.device),
                         OrDash(report.label), OrDash(report.directory), FormatSize(p.fileSize),
                         p.name, Rate(p.parallelMBps), Rate(p.serialMBps), SpeedupCell(p.speedup),
                         VerdictName(p.speedup.verdict)});
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
        drawn.dotName = "report";
        drawn.speedups = group.speedups;
        drawn.estimate.runs = (int)group.speedups.size();
        drawn.estimate.median = median;
        drawn.estimate.low = *low;
        drawn.estimate.high = *high;
        drawn.estimate.rank = 1;
        drawn.estimate.verdict =
            (Verdict)(std::max_element(std::begin(group.verdicts), std::end(group.verdicts)) -
                      std::begin(group.verdicts));
        table.chart.push_back(drawn);
        table.rows.push_back(row);
        table.json.push_back(entry);
    }
    return table;
}

int MergeReports(const std::string& program, const std::vector<std::string>& paths,
                 const MergeOptions& options, const PageOrigin& origin) {
    std::vector<CheckedReport> reports;
    reports.reserve(paths.size());
    std::unordered_map<std::string, size_t> seen; // each report's repeat key, and its file
    PlanCache plans;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string text;
        CheckedReport report;
        Refusal refusal = Refusal::None;
        std::string problem = ReadReportFile(paths[i], &plans, &report, &refusal, &text);
        if (problem.empty()) {
            const auto [earlier, added] = seen.emplace(RepeatKey(report, text), i);
            if (!added) {
                problem = "the same report as " + paths[earlier->second];
            }
        }
        if (!problem.empty()) {
            Complain(program, paths[i], problem);
            return 2;
        }
        reports.push_back(std::move(report));
    }
    seen.clear();
    std::vector<std::string> header = Header;
    TableRows rows;
    Json json;
    if (options.groupBy.empty()) {
        for (const CheckedReport& report : reports) {
            AddRows(report, &rows);
        }
        json = {{"reports", paths}, {"rows", Json::array()}};
        for (const auto& row : options.json ? rows : TableRows()) {
            Json entry = Json::object();
            for (size_t i = 0; i < Header.size(); ++i) {
                entry[JsonKeys[i]] = row[i];
            }
            json["rows"].push_back(entry);
        }
        if (reports.size() > ManyReports) {
            fprintf(stderr,
                    "%s: %zu reports: --group-by device,size (or host, fs, program) sums them "
                    "up in one row per group\n",
                    program.c_str(), reports.size());
        }
    } else {
        GroupTable groups = GroupReports(reports, options.groupBy);
        header = groups.header;
        rows = std::move(groups.rows);
        json = {{"reports", paths}, {"group_by", options.groupBy}, {"groups", groups.json}};
    }
    if (options.json) {
        fputs(DumpJson(json).c_str(), stdout);
    } else {
        PrintTable(header, rows);
    }
    if (!options.markdownPath.empty()) {
        const std::string problem =
            WriteMarkdownTable(options.markdownPath, "readrace across machines", header, rows);
        if (!problem.empty()) {
            fprintf(stderr, "%s: %s: cannot write the Markdown table: %s\n", program.c_str(),
                    TerminalText(options.markdownPath).c_str(), problem.c_str());
            return CloseStdout(program, 1);
        }
    }
    if (!options.htmlPath.empty()) {
        const std::vector<std::string> pageKeys = PageGroupKeys(options, reports.size());
        const GroupTable groups = pageKeys.empty() ? GroupTable() : GroupReports(reports, pageKeys);
        const std::string unwritten = WriteMergeHtml(
            options.htmlPath, paths, reports, pageKeys.empty() ? header : groups.header,
            pageKeys.empty() ? rows : groups.rows, pageKeys.empty() ? nullptr : &groups.chart,
            origin);
        if (!unwritten.empty()) {
            fprintf(stderr, "%s: %s: %s\n", program.c_str(), TerminalText(options.htmlPath).c_str(),
                    unwritten.c_str());
            return CloseStdout(program, 1);
        }
    }
    return CloseStdout(program, 0);
}

int CheckReports(const std::string& program, const std::vector<std::string>& paths) {
    int status = 0;
    PlanCache plans;
    for (const std::string& path : paths) {
        std::string text;
        CheckedReport report;
        Refusal refusal = Refusal::None;
        const std::string problem = ReadReportFile(path, &plans, &report, &refusal, &text);
        if (refusal == Refusal::Unreadable) {
            fflush(stdout);
            Complain(program, path, problem);
            status = 2;
            continue;
        }
        std::string line = TerminalText(path) + ": ";
        if (refusal == Refusal::Disagrees) {
            line += TerminalText(problem);
            status = std::max(status, 1);
        } else {
            std::string programs;
            const bool sizes = report.programs.size() > 1 &&
                               report.programs.front().fileSize != report.programs.back().fileSize;
            for (const CheckedProgram& p : report.programs) {
                programs += (programs.empty() ? "" : "; ") + TerminalText(p.name) +
                            (sizes ? " at " + FormatSize(p.fileSize) : "") + ": " +
                            VerdictName(p.speedup.verdict) + " over " +
                            std::to_string(p.speedup.runs) + " runs";
            }
            line += "verified (" + programs + ")";
        }
        printf("%s\n", line.c_str());
    }
    return CloseStdout(program, status);
}

} // namespace tools
