#include "compare/merge.h"

#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/tables.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace compare {

using namespace tools;

namespace {

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

} // namespace

int ReadFleet(const Options& options, MergeReport* merged) {
    merged->paths = options.paths;
    merged->groupBy = options.groupBy;
    merged->origin = options.origin;
    merged->reports.reserve(options.paths.size());
    std::unordered_map<std::string, size_t> seen; // each report's repeat key, and its file
    PlanCache plans;
    for (size_t i = 0; i < options.paths.size(); ++i) {
        std::string text;
        CheckedReport report;
        Refusal refusal = Refusal::None;
        std::string problem = ReadReportFile(options.paths[i], &plans, &report, &refusal, &text);
        if (problem.empty()) {
            const auto [earlier, added] = seen.emplace(RepeatKey(report, text), i);
            if (!added) {
                problem = "the same report as " + options.paths[earlier->second];
            }
        }
        if (!problem.empty()) {
            Complain(Program, options.paths[i], problem);
            return 2;
        }
        merged->reports.push_back(std::move(report));
    }
    if (merged->groupBy.empty() && merged->reports.size() > ManyReports) {
        Complain(Program, "",
                 std::to_string(merged->reports.size()) +
                     " reports: --group-by device,size (or host, fs, program) sums them up in one "
                     "row per group");
    }
    return 0;
}

int CheckReports(const std::vector<std::string>& paths) {
    int status = 0;
    PlanCache plans;
    for (const std::string& path : paths) {
        std::string text;
        CheckedReport report;
        Refusal refusal = Refusal::None;
        const std::string problem = ReadReportFile(path, &plans, &report, &refusal, &text);
        if (refusal == Refusal::Unreadable) {
            fflush(stdout);
            Complain(Program, path, problem);
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
    return CloseStdout(Program, status);
}

} // namespace compare
