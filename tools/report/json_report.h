// readrace_compare's JSON report (RenderJson): every run's values, each program's summary and
// verdict, the machine and how it was run. A sweep's has the same fields, with "deliverables"
// holding the largest size's, so that readers of plain reports still find them, and its sizes in
// "sweep". The reader of these reports is report/report_reader.h.
#pragma once

#include "report/report.h"

namespace tools {

// A deliverable's runs and summary, as in the report's "deliverables".
Json DeliverableJson(const DeliverableRuns& deliverable, const Suggestions& suggest = {});

// Text that any strict reader takes: bytes that are not UTF-8 become U+FFFD.
std::string DumpJson(const Json& json);

} // namespace tools
