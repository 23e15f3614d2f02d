// Reports read back: readrace_compare's JSON, taken as untrusted input, checked field by field
// and against its own runs before anything of it is used.
#pragma once

#include "common/json.h"
#include "common/machine_facts.h"
#include "runs/comparison.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace tools {

// The largest report read, and how deeply its values may nest.
constexpr size_t LargestReport = 64ull << 20;
constexpr int DeepestReport = 64;

// "" when json is a report of readrace_compare that the merge can read, otherwise what is
// missing or wrong, naming the field by its JSON pointer. Every field the merge reads is
// checked for its presence, type and range, and the report's major version must be this one's.
std::string CheckReport(const Json& json);

// A run as the merge keeps it: its totals and outcome, and what was measured around it.
struct CheckedRun {
    long long parallelTotal = 0, serialTotal = 0, percentage = 0;
    bool parallelWorse = false, hasPercentage = false;
    double bytesRead = -1;   // from the storage's counters; below 0 where not measured
    double cachedAfter = -1; // the share of the files' pages cached after; below 0 where unknown
};

// One program at one file size, as its runs give it.
struct CheckedProgram {
    unsigned long long fileSize = 0;
    std::string directory; // where its runs were made: a sweep's folder for its size
    std::string name;
    double parallelMBps = 0, serialMBps = 0; // the medians
    SpeedupEstimate speedup;
    std::vector<double> speedups; // each run's, for the page's dots
    std::vector<CheckedRun> runs;
};

// What is kept of a report once its runs bear out its summaries: never its whole tree.
struct CheckedReport {
    std::string label; // as given, else the hostname
    std::string startedAt, commandLine, directory;
    double ticksPerSecond = 0;
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

// Why a report was not taken.
enum class Refusal { None, Unreadable, Disagrees };

// The one way a report is read: parses its text (no deeper than DeepestReport), checks its
// fields (CheckReport) and its summaries against its runs (VerifyReport). "" with *report
// filled in when it holds; otherwise why not, never a library's own words, and in *refusal
// whether it could not be read or says what its runs do not.
std::string ReadReport(const std::string& text, PlanCache* plans, CheckedReport* report,
                       Refusal* refusal);
// The same for a file, read as ReadRegularFile reads it (at most LargestReport); its text is
// left in *text.
std::string ReadReportFile(const std::string& path, PlanCache* plans, CheckedReport* report,
                           Refusal* refusal, std::string* text);

} // namespace tools
