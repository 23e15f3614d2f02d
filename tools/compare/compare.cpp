// readrace_compare: runs the deliverables again and again from an evicted cache, and turns their
// ticks into milliseconds, MB/s and a speed-up with its confidence interval; over one directory,
// over a sweep of file sizes, or merged from many machines' reports.
#include "common/command_line.h"
#include "report/compare_json.h"
#include "runs/comparison.h"
#include "common/machine_facts.h"
#include "report/markdown_report.h"
#include "report/merge_reports.h"
#include "prepare/prepare_files.h"
#include "common/size_text.h"
#include "report/svg_chart.h"
#include "report/text_report.h"
#include "common/tick_clock.h"
#include "common/tool_files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string Program = "readrace_compare";

struct Options {
    std::string runs = "auto";
    int fixedRuns = 0; // 0 for auto
    int maxRuns = 30;
    double maxSeconds = 600;
    std::string deliverable = "both";
    bool json = false;
    bool evict = true;
    bool keep = false;
    bool merge = false;
    std::string bin, svg, markdown, sizes;
    std::vector<std::string> paths; // DIR, or the reports to merge
};

// Auto runs at least this many of each before it looks at the intervals.
constexpr int LeastAutoRuns = 5;

// Beside this program (installed, or --bin), else in the build tree's src/.
std::string FindDeliverable(const Options& options, const std::string& name) {
    std::vector<fs::path> places;
    if (!options.bin.empty()) {
        places.push_back(options.bin);
    } else {
        const fs::path self = tools::SelfDirectory();
        places.push_back(self);
        places.push_back(self / ".." / "src");
    }
    for (const fs::path& place : places) {
        std::error_code error;
        const fs::path candidate = place / (name + tools::ExecutableSuffix());
        if (fs::is_regular_file(candidate, error)) {
            return fs::absolute(candidate, error).lexically_normal().string();
        }
    }
    return "";
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What stopped auto runs, or "" to go on.
std::string StopRule(const Options& options, const std::vector<tools::DeliverableRuns>& all,
                     int runs, double seconds) {
    if (options.fixedRuns > 0) {
        return runs >= options.fixedRuns ? "--runs " + std::to_string(options.fixedRuns) : "";
    }
    bool settled = runs >= LeastAutoRuns;
    for (const tools::DeliverableRuns& d : all) {
        settled = settled && tools::SpeedupSettled(d.speedup);
    }
    if (settled) {
        return "auto: every interval excludes 1 or is within 3% of its median";
    }
    if (runs >= options.maxRuns) {
        return "auto: stopped at --max-runs " + std::to_string(options.maxRuns) +
               " before every interval settled";
    }
    if (seconds >= options.maxSeconds) {
        char text[96];
        snprintf(text, sizeof text,
                 "auto: stopped at --max-seconds %g before every interval settled",
                 options.maxSeconds);
        return text;
    }
    return "";
}

// The estimate shown is the one of the runs so far.
void ShowProgress(int run, const tools::DeliverableRuns& d) {
    const tools::SpeedupEstimate& e = d.speedup;
    fprintf(stderr, "\r\033[Krun %d: %s", run, d.name.c_str());
    if (e.runs >= 2) {
        fprintf(stderr, "  speed-up %.2f (95%% CI %.2f-%.2f)", e.median, e.low, e.high);
    }
    fflush(stderr);
}

// Warns where a phase's totals spread too widely for the medians to mean much.
void WarnOfBusyMachine(const tools::Comparison& comparison) {
    for (const tools::DeliverableRuns& d : comparison.deliverables) {
        std::vector<double> parallel, serial;
        for (const tools::RunOutput& run : d.runs) {
            parallel.push_back((double)run.parallelTotal);
            serial.push_back((double)run.serialTotal);
        }
        for (const auto& [phase, totals] :
             {std::pair{"parallel", &parallel}, {"serial", &serial}}) {
            const double variation = tools::CoefficientOfVariation(*totals);
            if (variation > 0.25) {
                fprintf(stderr,
                        "%s: warning: %s, %s phase: its totals vary by %.0f%% (coefficient of "
                        "variation) over %zu runs; the machine may have been busy: try a quieter "
                        "machine or more runs\n",
                        Program.c_str(), d.name.c_str(), phase, variation * 100, totals->size());
            }
        }
    }
}

// Runs the deliverables in directory until the rule stops them. Returns 0; 2 when the ten files
// are not there; 1 when a run failed or the cache could not be emptied; or 128 plus the signal
// of an interrupt.
int RunComparison(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const std::string& directory, const tools::TickCalibration& clock,
                  tools::Comparison* comparison) {
    comparison->directory = directory;
    comparison->evicted = options.evict;
    comparison->deliverables = found;
    comparison->bytesPerPhase = 0;
    for (int i = 0; i < 10; ++i) {
        std::error_code error;
        const fs::path file = fs::path(directory) / tools::FileName(i);
        const auto size = fs::file_size(file, error);
        if (error) {
            fprintf(stderr, "%s: %s: %s (readrace_prepare makes the ten files)\n", Program.c_str(),
                    file.string().c_str(), error.message().c_str());
            return 2;
        }
        comparison->fileSize = i == 0 ? size : comparison->fileSize;
        comparison->bytesPerPhase += size;
    }
    std::error_code error;
    const fs::path scratch = fs::temp_directory_path(error) /
                             ("readrace_compare-" + std::to_string(std::random_device{}()));
    fs::create_directories(scratch, error);
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    const bool progress = tools::IsTerminal(2);
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    for (int run = 1; status == 0 && comparison->stoppedBy.empty(); ++run) {
        for (tools::DeliverableRuns& deliverable : comparison->deliverables) {
            if (progress) {
                ShowProgress(run, deliverable);
            }
            for (int i = 0; i < 10 && options.evict; ++i) {
                const std::string file = (fs::path(directory) / tools::FileName(i)).string();
                const std::string problem = tools::EvictFile(file);
                if (!problem.empty()) {
                    fprintf(stderr,
                            "%s%s: %s: cannot evict from the cache: %s; stopping rather than "
                            "run from a warm cache (--no-evict runs from it on purpose)\n",
                            progress ? "\n" : "", Program.c_str(), file.c_str(), problem.c_str());
                    status = 1;
                    break;
                }
            }
            if (status != 0) {
                break;
            }
            int interrupt = 0;
            const int exitStatus =
                tools::RunInDirectory(deliverable.path, directory, outPath, errPath, &interrupt);
            if (interrupt != 0) {
                fprintf(stderr, "%s%s: interrupted during %s, run %d\n", progress ? "\n" : "",
                        Program.c_str(), deliverable.name.c_str(), run);
                status = 128 + interrupt;
                break;
            }
            tools::RunOutput output;
            const std::string problem =
                exitStatus == 0 ? tools::ParseRunOutput(ReadWhole(outPath), &output) : "";
            if (exitStatus != 0 || !problem.empty()) {
                fprintf(stderr, "%s%s: %s, run %d: %s; its standard error:\n%s",
                        progress ? "\n" : "", Program.c_str(), deliverable.name.c_str(), run,
                        exitStatus != 0 ? ("exit status " + std::to_string(exitStatus)).c_str()
                                        : problem.c_str(),
                        ReadWhole(errPath).c_str());
                status = 1;
                break;
            }
            deliverable.runs.push_back(output);
            deliverable.speedup = tools::EstimateSpeedup(tools::RunSpeedups(deliverable.runs));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status == 0) {
            comparison->stoppedBy = StopRule(options, comparison->deliverables, run, seconds);
        }
    }
    fs::remove_all(scratch, error);
    if (progress) {
        fprintf(stderr, "\r\033[K");
    }
    if (status != 0) {
        return status;
    }
    for (tools::DeliverableRuns& deliverable : comparison->deliverables) {
        tools::Conclude(&deliverable, clock, comparison->bytesPerPhase, options.evict);
    }
    WarnOfBusyMachine(*comparison);
    return 0;
}

bool ParseSizes(const std::string& text, std::vector<unsigned long long>* sizes,
                std::string* problem) {
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const auto size = tools::ParseSize(item);
        if (!size || *size == 0 || *size > tools::LargestFileSize) {
            *problem = "--sizes: '" + item + "' is not a size from 1B to 4GiB - 2B (" +
                       tools::SizeForms() + ")";
            return false;
        }
        sizes->push_back(*size);
    }
    if (sizes->empty()) {
        *problem = "--sizes: give one size or more, separated by commas";
        return false;
    }
    std::sort(sizes->begin(), sizes->end());
    sizes->erase(std::unique(sizes->begin(), sizes->end()), sizes->end());
    return true;
}

// The sweep: each size's files in a folder of DIR, compared, then removed unless kept.
int RunSweep(const Options& options, const std::vector<tools::DeliverableRuns>& found,
             const tools::TickCalibration& clock, std::vector<tools::Comparison>* sweep) {
    std::vector<unsigned long long> sizes;
    std::string problem;
    if (!ParseSizes(options.sizes, &sizes, &problem)) {
        return tools::Refuse(Program, problem);
    }
    const fs::path scratch = options.paths[0];
    std::error_code error;
    fs::create_directories(scratch, error);
    // Room for the largest size's files and one being written, or for every size when kept.
    unsigned long long needed = 11 * sizes.back();
    if (options.keep) {
        needed = sizes.back();
        for (const unsigned long long size : sizes) {
            needed += 10 * size;
        }
    }
    const fs::space_info space = fs::space(scratch, error);
    if (error) {
        return tools::Refuse(Program, scratch.string() + ": " + error.message());
    }
    if (space.available < needed) {
        return tools::Refuse(Program, scratch.string() + ": too little free space for the sweep: " +
                                          tools::FormatSize(needed) + " needed, " +
                                          tools::FormatSize(space.available) + " available");
    }
    for (const unsigned long long size : sizes) {
        const fs::path folder = scratch / ("readrace-" + std::to_string(size) + "B");
        int status = tools::PrepareFiles(Program, folder.string(), size, true, false);
        tools::Comparison comparison;
        if (status == 0) {
            status = RunComparison(options, found, folder.string(), clock, &comparison);
        }
        if (!options.keep || status > 128) {
            fs::remove_all(folder, error);
        }
        if (status != 0) {
            if (status > 128) {
                fprintf(stderr, "%s: interrupted: removed %s\n", Program.c_str(),
                        folder.string().c_str());
            }
            return status;
        }
        sweep->push_back(comparison);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Runs readrace_seq and readrace_nobuf again and again in DIR, alternating them, "
                 "with the ten files evicted from the cache before each run, and says how much "
                 "faster two readers at once were than one, with a 95% confidence interval.",
                 Program);
    tools::AddVersion(app);
    Options options;
    app.add_option("--runs", options.runs,
                   "runs of each program: N, or auto (at least 5, until each interval "
                   "excludes 1 or is within 3% of its median)")
        ->type_name("N|auto")
        ->capture_default_str();
    app.add_option("--max-runs", options.maxRuns, "with --runs auto, at most N runs of each")
        ->type_name("N")
        ->check(CLI::Range(1, 100000).description(""))
        ->capture_default_str();
    app.add_option("--max-seconds", options.maxSeconds,
                   "with --runs auto, start no run after this long")
        ->type_name("SECONDS")
        ->check(CLI::Validator(CLI::PositiveNumber).description(""))
        ->capture_default_str();
    app.add_option("--deliverable", options.deliverable, "which program to run")
        ->type_name("seq|nobuf|both")
        ->check(CLI::IsMember({"seq", "nobuf", "both"}).description(""))
        ->capture_default_str();
    app.add_flag("--json", options.json, "print the report as JSON, with every run's values");
    app.add_flag("!--no-evict", options.evict, "leave the page cache as it is before each run");
    app.add_option("--bin", options.bin, "the directory that holds the two programs")
        ->type_name("DIR");
    app.add_option("--svg", options.svg,
                   "draw every run's per-file times (with --sizes: the speed-up against size)")
        ->type_name("FILE");
    app.add_option("--markdown", options.markdown, "write the summary tables as Markdown")
        ->type_name("FILE");
    app.add_option("--sizes", options.sizes,
                   "a sweep: for each SIZE of a comma-separated list, write the files into a "
                   "folder of DIR, compare, and remove them")
        ->type_name("SIZE,...");
    app.add_flag("--keep", options.keep, "with --sizes, leave the files in place");
    app.add_flag("--merge", options.merge,
                 "read the JSON reports named instead of DIR and print one table across them");
    app.add_option("DIR", options.paths,
                   "the directory with 0.tmp to 9.tmp (with --merge: the "
                   "reports)")
        ->required();
    app.footer("Sizes:\n  SIZE is " + tools::SizeForms() +
               ". 32M and 32MiB are 33554432 bytes, 32MB is 32000000.\n\n"
               "Examples:\n"
               "  readrace_compare /data/bench\n"
               "      compare both programs on the ten files there, as many runs as it takes\n"
               "  readrace_compare --runs 20 --json /data/bench > host1.json\n"
               "      twenty runs of each, every value kept as JSON\n"
               "  readrace_compare --sizes 1M,16M,256M --svg sweep.svg /data/scratch\n"
               "      sweep three file sizes and draw the speed-up against size");
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.merge) {
        return tools::MergeReports(Program, options.paths, options.json, options.markdown);
    }
    if (options.paths.size() != 1) {
        return tools::Refuse(Program, "name one directory (or give --merge with reports)");
    }
    if (options.runs != "auto") {
        try {
            size_t end = 0;
            options.fixedRuns = std::stoi(options.runs, &end);
            if (end != options.runs.size() || options.fixedRuns < 1 || options.fixedRuns > 100000) {
                throw std::invalid_argument(options.runs);
            }
        } catch (const std::exception&) {
            return tools::Refuse(Program, "--runs takes auto or a whole number from 1: '" +
                                              options.runs + "'");
        }
    }
    const std::string dir = options.paths[0];
    std::error_code error;
    if (options.sizes.empty() && !fs::is_directory(dir, error)) {
        return tools::Refuse(Program, dir + ": not a directory");
    }
    std::vector<std::string> names = {"readrace_seq", "readrace_nobuf"};
    if (options.deliverable != "both") {
        names = {"readrace_" + options.deliverable};
    }
    std::vector<tools::DeliverableRuns> found;
    for (const std::string& name : names) {
        const std::string path = FindDeliverable(options, name);
        if (path.empty()) {
            return tools::Refuse(Program, "cannot find " + name + tools::ExecutableSuffix() +
                                              " beside this program or in the build tree; name "
                                              "its directory with --bin");
        }
        found.push_back({name, path, {}, {}, {}, ""});
    }
    const tools::TickCalibration clock = tools::CalibrateTicks(300);
    if (!clock.invariant) {
        fprintf(stderr,
                "%s: warning: this processor's time-stamp counter is not invariant, so "
                "its ticks are not time and the milliseconds below are estimates\n",
                Program.c_str());
    }

    std::vector<tools::Comparison> comparisons;
    int status = 0;
    if (!options.sizes.empty()) {
        status = RunSweep(options, found, clock, &comparisons);
    } else {
        comparisons.emplace_back();
        status = RunComparison(options, found, dir, clock, &comparisons.back());
    }
    if (status != 0) {
        return status;
    }
    const bool sweep = !options.sizes.empty();
    if (options.json) {
        const tools::MachineFacts machine = tools::GatherMachineFacts(dir, clock.ticksPerSecond);
        fputs(tools::DumpJson(tools::ReportJson(comparisons, sweep, clock, machine)).c_str(),
              stdout);
    } else {
        for (const tools::Comparison& comparison : comparisons) {
            tools::WriteText(stdout, comparison, clock);
        }
        if (sweep) {
            tools::WriteSweepTable(stdout, comparisons);
        }
    }
    if (!options.svg.empty()) {
        const bool drawn = sweep ? tools::WriteSweepSvg(options.svg, comparisons)
                                 : tools::WriteRunsSvg(options.svg, clock.ticksPerSecond,
                                                       comparisons[0].deliverables);
        if (!drawn) {
            fprintf(stderr, "%s: %s: cannot write the chart\n", Program.c_str(),
                    options.svg.c_str());
            return 1;
        }
    }
    if (!options.markdown.empty() &&
        !tools::WriteMarkdownTable(options.markdown, "readrace on " + dir, tools::SummaryHeader(),
                                   tools::SummaryRows(comparisons))) {
        fprintf(stderr, "%s: %s: cannot write the Markdown table\n", Program.c_str(),
                options.markdown.c_str());
        return 1;
    }
    return fflush(stdout) == 0 ? 0 : 1;
}
