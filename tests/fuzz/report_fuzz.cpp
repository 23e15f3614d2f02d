// The merge's reader on arbitrary bytes: whatever a report file holds, it is refused with a
// reason or read into rows, and the rows are shown safely; never a crash, a hang or a leak.
#include "common/safe_text.h"
#include "report/merge_reports.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tools::Json report;
    tools::TableRows rows;
    const std::string problem =
        tools::ReadReportRows(std::string((const char*)data, size), &report, &rows);
    if (problem.empty()) {
        for (const auto& row : rows) {
            for (const std::string& cell : row) {
                tools::TerminalText(cell);
                tools::MarkdownCell(cell);
            }
        }
        tools::DumpJson(report);
    } else {
        tools::TerminalText(problem);
    }
    return 0;
}
