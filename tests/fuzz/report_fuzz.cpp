// The merge's reader on arbitrary bytes: whatever a report file holds, it is refused with a
// reason or checked against its own runs and read into rows, and the rows and every format of
// the merge are shown safely; never a crash, a hang or a leak.
#include "common/safe_text.h"
#include "report/report.h"
#include "report/tables.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tools::PlanCache plans;
    tools::CheckedReport report;
    tools::Refusal refusal = tools::Refusal::None;
    const std::string problem =
        tools::ReadReport(std::string((const char*)data, size), &plans, &report, &refusal);
    if (problem.empty()) {
        tools::TableRows rows;
        tools::AddRows(report, &rows);
        for (const auto& row : rows) {
            for (const std::string& cell : row) {
                tools::TerminalText(cell);
                tools::MarkdownCell(cell);
            }
        }
        tools::GroupReports({report}, {"host", "fs", "device", "size", "program"});
        for (const auto& groupBy : {std::vector<std::string>{}, {"fs", "program"}}) {
            const tools::Report merge = tools::MergeReport{{"fuzz.json"}, {report}, groupBy, {}};
            for (auto* render : {tools::RenderText, tools::RenderJson, tools::RenderMarkdown,
                                 tools::RenderSvg, tools::RenderHtml, tools::RenderCsv}) {
                render(merge);
            }
        }
    } else {
        tools::TerminalText(problem);
    }
    return 0;
}
