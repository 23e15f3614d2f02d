// readrace_compare's JSON report, and the checks that read one back.
#pragma once

#include "common/machine_facts.h"
#include "runs/comparison.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tools {

using Json = nlohmann::ordered_json;

// A deliverable's runs and summary, as in the report's "deliverables".
Json DeliverableJson(const DeliverableRuns& deliverable);

// The whole report. With a sweep, its sizes are in "sweep" and "deliverables" holds the
// largest size's, so that readers of plain reports still find their fields.
Json ReportJson(const std::vector<Comparison>& comparisons, bool sweep,
                const TickCalibration& clock, const MachineFacts& machine);

// Text that any strict reader takes: bytes that are not UTF-8 become U+FFFD.
std::string DumpJson(const Json& json);

// "" when json is a report of readrace_compare, otherwise what is missing or wrong.
std::string CheckReport(const Json& json);

} // namespace tools
