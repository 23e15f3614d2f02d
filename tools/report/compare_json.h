// readrace_compare's JSON report, and the checks that read one back.
#pragma once

#include "common/machine_facts.h"
#include "runs/comparison.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace tools {

using Json = nlohmann::ordered_json;

// A deliverable's runs and summary, as in the report's "deliverables".
Json DeliverableJson(const DeliverableRuns& deliverable);

// The whole report. With a sweep, its sizes are in "sweep" and "deliverables" holds the
// largest size's, so that readers of plain reports still find their fields.
// startedAt is when the comparison began (IsoTimeUtc), commandLine the arguments as given, label
// the name the user gave the host (--label; the hostname by default).
Json ReportJson(const std::vector<Comparison>& comparisons, bool sweep,
                const TickCalibration& clock, const MachineFacts& machine,
                const std::string& startedAt, const std::string& commandLine,
                const std::string& label);

// "2026-12-08T11:54:10Z": ISO 8601 in UTC, to the second.
std::string IsoTimeUtc(std::time_t when);

// Text that any strict reader takes: bytes that are not UTF-8 become U+FFFD.
std::string DumpJson(const Json& json);

// "" when json is a report of readrace_compare that the merge can read, otherwise what is
// missing or wrong, naming the field by its JSON pointer. Every field the merge reads is
// checked for its presence, type and range, and the report's major version must be this one's.
std::string CheckReport(const Json& json);

// One program at one file size, as its runs give it.
struct CheckedProgram {
    unsigned long long fileSize = 0;
    std::string name;
    double parallelMBps = 0, serialMBps = 0; // the medians
    SpeedupEstimate speedup;
    std::vector<double> speedups; // each run's, for the page's dots
};

// What is kept of a report once its runs bear out its summaries: never its whole tree.
struct CheckedReport {
    std::string label; // as given, else the hostname
    std::string startedAt, commandLine, directory;
    MachineFacts machine;
    std::vector<CheckedProgram> programs; // a sweep's sizes, or the one directory's
};

// Auto mode's per-look levels, worked out once per plan that reports state.
using PlanCache = std::map<std::tuple<int, int, double, double>, SpeedupPlan>;

// For a report CheckReport passed: recomputes each program's summary, and each sweep entry's,
// from its runs with the functions that wrote it (Summarize, EstimateSpeedup) under the plan the
// report states (level, margin, first and last look), and compares median, interval, ranks,
// per-look level, error bound, looks, verdict, rates and outcome counts within the JSON's
// rounding. Every run's outcome line must agree with its totals (OutcomeAgrees). "" with
// *checked filled in when all holds, otherwise the first field that does not, by JSON pointer:
// "/deliverables/0/summary/speedup/verdict says parallel; its 6 runs give serial".
std::string VerifyReport(const Json& json, PlanCache* plans, CheckedReport* checked);

} // namespace tools
