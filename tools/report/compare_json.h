// readrace_compare's JSON report, and the checks that read one back.
#pragma once

#include "common/machine_facts.h"
#include "runs/comparison.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <string>
#include <vector>

namespace tools {

using Json = nlohmann::ordered_json;

// A deliverable's runs and summary, as in the report's "deliverables".
Json DeliverableJson(const DeliverableRuns& deliverable);

// The whole report. With a sweep, its sizes are in "sweep" and "deliverables" holds the
// largest size's, so that readers of plain reports still find their fields.
// startedAt is when the comparison began (IsoTimeUtc), commandLine the arguments as given.
Json ReportJson(const std::vector<Comparison>& comparisons, bool sweep,
                const TickCalibration& clock, const MachineFacts& machine,
                const std::string& startedAt, const std::string& commandLine);

// "2026-12-08T11:54:10Z": ISO 8601 in UTC, to the second.
std::string IsoTimeUtc(std::time_t when);

// Text that any strict reader takes: bytes that are not UTF-8 become U+FFFD.
std::string DumpJson(const Json& json);

// "" when json is a report of readrace_compare that the merge can read, otherwise what is
// missing or wrong, naming the field by its JSON pointer. Every field the merge reads is
// checked for its presence, type and range, and the report's major version must be this one's.
std::string CheckReport(const Json& json);

// Reading a report that CheckReport passed: each file size with its programs (a sweep's sizes,
// or the one directory's), and a program's speed-up as the statistics hold it.
struct ReportSize {
    unsigned long long fileSize;
    const Json* deliverables;
};
std::vector<ReportSize> ReportSizes(const Json& report);
SpeedupEstimate SpeedupFromJson(const Json& speedup);

} // namespace tools
