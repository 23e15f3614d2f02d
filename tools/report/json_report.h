// readrace_compare's JSON report: every run's values, each program's summary and verdict, the
// machine and how it was run. The reader of these reports is report/report_reader.h.
#pragma once

#include "report/report.h"

namespace tools {

// A deliverable's runs and summary, as in the report's "deliverables".
Json DeliverableJson(const DeliverableRuns& deliverable, const Suggestions& suggest = {});

// A comparison's or a sweep's whole report. With a sweep, its sizes are in "sweep" and
// "deliverables" holds the largest size's, so that readers of plain reports still find their
// fields.
Json ReportJson(const Report& report);

// Text that any strict reader takes: bytes that are not UTF-8 become U+FFFD.
std::string DumpJson(const Json& json);

} // namespace tools
