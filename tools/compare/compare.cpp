// readrace_compare: runs the deliverables again and again from an evicted cache, and turns their
// ticks into milliseconds, MB/s and a speed-up with its confidence interval; over one directory,
// over a sweep of file sizes, or merged from many machines' reports.
#include "compare/measure.h"
#include "compare/merge.h"
#include "compare/options.h"

#include "common/command_line.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/dir_lock.h"
#include "report/report.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

using namespace compare;

// Measures what the options ask for into *report: one directory, or a sweep of file sizes.
// Returns 0, or the exit status of what stopped it.
int Measure(const Options& options, tools::Report* report) {
    const std::string dir = options.paths[0];
    std::error_code error;
    if (!options.sweep && !fs::is_directory(dir, error)) {
        return tools::Refuse(Program, tools::TerminalText(dir) + ": not a directory");
    }
    std::vector<tools::DeliverableRuns> found;
    if (const int missing = FindDeliverables(options, &found)) {
        return missing;
    }
    const tools::TickCalibration clock = tools::CalibrateTicks(300);
    if (!clock.invariant) {
        tools::Complain(Program, "",
                        "warning: this processor's time-stamp counter is not invariant, so its "
                        "ticks are not time and the milliseconds below are estimates");
    }
    const tools::RunContext context = {
        dir,
        clock,
        tools::GatherMachineFacts(dir, clock.ticksPerSecond),
        options.label,
        {options.fixedRuns > 0 ? "--runs" : "--max-runs", "--margin"},
        options.origin};
    if (options.sweep) {
        tools::SweepReport sweep = {{}, context};
        const int status = RunSweep(options, found, clock, &sweep.sizes);
        *report = std::move(sweep);
        return status;
    }
    tools::ComparisonReport comparison = {{}, context};
    tools::DirectoryLock lock;
    int status = tools::LockForRun(Program, dir, &lock);
    if (status == 0) {
        status = RunComparison(options, found, dir, clock, &comparison.comparison);
    }
    tools::UnlockDirectory(&lock);
    *report = std::move(comparison);
    return status;
}

// The report on standard output, as text or JSON, and in each file asked for, each written
// whole; 1 after naming the first that could not be written.
int WriteOutputs(const Options& options, const tools::Report& report) {
    fputs((options.json ? tools::RenderJson(report) : tools::RenderText(report)).c_str(), stdout);
    const struct {
        const std::string& path;
        std::string (*render)(const tools::Report&);
    } files[] = {{options.svg, tools::RenderSvg},
                 {options.html, tools::RenderHtml},
                 {options.markdown, tools::RenderMarkdown},
                 {options.csv, tools::RenderCsv}};
    for (const auto& file : files) {
        const std::string problem =
            file.path.empty() ? "" : tools::WriteFileWhole(file.path, file.render(report));
        if (!problem.empty()) {
            tools::Complain(Program, file.path, problem);
            return tools::CloseStdout(Program, 1);
        }
    }
    return tools::CloseStdout(Program, 0);
}

} // namespace

int main(int argc, char** argv) {
    tools::BufferStdout();
    Options options;
    if (const int status = ParseOptions(argc, argv, &options); status >= 0) {
        return status;
    }
    if (options.check) {
        return CheckReports(options.paths);
    }
    tools::Report report;
    int status = 0;
    if (options.merge) {
        tools::MergeReport merged;
        status = ReadFleet(options, &merged);
        report = std::move(merged);
    } else {
        status = Measure(options, &report);
    }
    return status != 0 ? status : WriteOutputs(options, report);
}
