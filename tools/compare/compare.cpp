// readrace_compare: runs the deliverables again and again from an evicted cache, and turns their
// ticks into milliseconds, MB/s and a speed-up with its confidence interval; over one directory,
// over a sweep of file sizes, or merged from many machines' reports.
#include "common/command_line.h"
#include "report/compare_json.h"
#include "runs/comparison.h"
#include "common/machine_facts.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "report/markdown_report.h"
#include "report/merge_reports.h"
#include "prepare/prepare_files.h"
#include "common/size_text.h"
#include "common/storage_traffic.h"
#include "report/svg_chart.h"
#include "report/html_report.h"
#include "report/text_report.h"
#include "common/tick_clock.h"
#include "common/tool_files.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
    std::string margin = "3%";
    double level = tools::DefaultLevel;
    tools::SpeedupPlan plan; // from the options above
    // Above the deliverables' own 60-second wait for their workers.
    double runTimeout = 120;
    std::string deliverable = "both";
    bool json = false;
    bool evict = true;
    bool keep = false;
    bool merge = false;
    bool check = false;
    std::string bin, svg, markdown, sizes, html, groupBy, label;
    std::vector<std::string> paths; // DIR, or the reports to merge
};

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

// A failed run's standard error, to follow the message about it: line by line with control
// characters escaped, since a program under --bin may print anything.
std::string ChildErrors(const std::string& errPath) {
    const std::string text = ReadWhole(errPath);
    if (text.empty()) {
        return "; it wrote nothing on standard error\n";
    }
    std::string shown = "; its standard error:\n";
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        shown += tools::TerminalText(text.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    return shown;
}

// What stopped auto runs, or "" to go on.
std::string StopRule(const Options& options, const std::vector<tools::DeliverableRuns>& all,
                     int runs, double seconds) {
    if (options.fixedRuns > 0) {
        return runs >= options.fixedRuns ? "--runs " + std::to_string(options.fixedRuns) : "";
    }
    // Every look's interval is one the plan allows for, so stopping here, at the cap or at the
    // time limit keeps the chance of a wrong verdict within the level.
    bool settled = true;
    for (const tools::DeliverableRuns& d : all) {
        settled = settled && d.speedup.verdict != tools::Verdict::Unclear;
    }
    if (settled) {
        return "auto: every program has its verdict";
    }
    if (runs >= options.maxRuns) {
        return "auto: stopped at --max-runs " + std::to_string(options.maxRuns) +
               " before every program had its verdict";
    }
    if (seconds >= options.maxSeconds) {
        char text[96];
        snprintf(text, sizeof text,
                 "auto: stopped at --max-seconds %g before every program had its verdict",
                 options.maxSeconds);
        return text;
    }
    return "";
}

// The estimate shown is the one of the runs so far.
void ShowProgress(int run, const tools::DeliverableRuns& d) {
    const tools::SpeedupEstimate& e = d.speedup;
    fprintf(stderr, "\r\033[Krun %d: %s", run, d.name.c_str());
    if (e.rank > 0) {
        fprintf(stderr, "  speed-up %.2f (%s%% CI %s): %s", e.median,
                tools::ConfidenceText(e.level).c_str(), tools::IntervalText(e.low, e.high).c_str(),
                tools::VerdictName(e.verdict));
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
                        "%s: warning: %s at %s, %s phase: its totals vary by %.0f%% (coefficient "
                        "of variation) over %zu runs; the machine may have been busy: try a "
                        "quieter machine or more runs\n",
                        Program.c_str(), d.name.c_str(),
                        tools::FormatSize(comparison.fileSize).c_str(), phase, variation * 100,
                        totals->size());
            }
        }
    }
}

// Evicts the ten files and, where the system can tell, checks that none of their pages stayed;
// *checked becomes false once a file's residency cannot be told. Returns 0, or 1 after saying
// which file could not be evicted.
int EvictTenFiles(const std::vector<std::string>& files, bool progress, bool* checked) {
    for (const std::string& file : files) {
        std::string problem = tools::EvictFile(file);
        const tools::Residency left =
            problem.empty() ? tools::CachedPages(file) : tools::Residency();
        *checked = *checked && problem.empty() && left.known;
        if (problem.empty() && left.known && left.cached > 0) {
            problem = std::to_string(left.cached) + " of its " + std::to_string(left.pages) +
                      " pages stayed in the page cache";
        }
        if (!problem.empty()) {
            if (progress) {
                fprintf(stderr, "\n");
            }
            tools::Complain(Program, file,
                            "cannot evict from the cache: " + problem +
                                "; stopping rather than run from a warm cache (--no-evict runs "
                                "from it on purpose)");
            return 1;
        }
    }
    return 0;
}

// Runs the deliverables in directory until the rule stops them. Returns 0; 2 when the ten files
// are not there; 1 when a run failed or the cache could not be emptied; or 128 plus the signal
// of an interrupt.
int RunComparison(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const std::string& directory, const tools::TickCalibration& clock,
                  tools::Comparison* comparison, bool sayUnmeasured = true) {
    comparison->directory = directory;
    comparison->evicted = options.evict;
    comparison->deliverables = found;
    comparison->bytesPerPhase = 0;
    for (int i = 0; i < 10; ++i) {
        std::error_code error;
        const fs::path file = fs::path(directory) / tools::FileName(i);
        const auto size = fs::file_size(file, error);
        if (error || size == 0) {
            tools::Complain(Program, file.string(),
                            (error ? error.message() : "empty: there is nothing to time") +
                                " (readrace_prepare makes the ten files)");
            return 2;
        }
        if (i > 0 && size != comparison->fileSize) {
            tools::Complain(Program, "warning: " + file.string(),
                            "holds " + tools::FormatSize(size) + ", " + tools::FileName(0) + " " +
                                tools::FormatSize(comparison->fileSize) +
                                ": the per-file times compare files of unequal size");
        }
        comparison->fileSize = i == 0 ? size : comparison->fileSize;
        comparison->bytesPerPhase += size;
    }
    std::error_code error;
    // A folder of its own, never one that was there before, for the runs' output.
    const fs::path scratch =
        tools::MakeFreshDirectory((fs::temp_directory_path(error) / "readrace_compare-").string());
    if (scratch.empty()) {
        tools::Complain(Program,
                        (fs::temp_directory_path(error) / "readrace_compare-XXXXXX").string(),
                        "cannot make a scratch folder: " + tools::LastErrorText());
        return 1;
    }
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i) {
        files.push_back((fs::path(directory) / tools::FileName(i)).string());
    }
    const tools::StorageDevice device = tools::FindStorageDevice(directory);
    comparison->unmeasured = device.unmeasured;
    comparison->evictionChecked = options.evict;
    if (!device.unmeasured.empty() && sayUnmeasured) {
        tools::Complain(Program, directory, "storage traffic not measured: " + device.unmeasured);
    }
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
            if (options.evict) {
                status = EvictTenFiles(files, progress, &comparison->evictionChecked);
                if (status != 0) {
                    break;
                }
            }
            // The counters are read outside the run's own timed phases, as close around it as
            // the process start allows.
            tools::StorageCounters before, after;
            const bool hadBefore = tools::ReadStorageCounters(device, &before);
            int interrupt = 0;
            bool timedOut = false;
            const int exitStatus =
                tools::RunInDirectory(deliverable.path, directory, outPath, errPath,
                                      options.runTimeout, &interrupt, &timedOut);
            const bool hadAfter = hadBefore && tools::ReadStorageCounters(device, &after);
            const tools::Residency residency = tools::CachedPagesOf(files);
            if (interrupt != 0) {
                fprintf(stderr, "%s%s: interrupted during %s, run %d\n", progress ? "\n" : "",
                        Program.c_str(), deliverable.name.c_str(), run);
                status = 128 + interrupt;
                break;
            }
            if (timedOut) {
                fprintf(stderr,
                        "%s%s: %s, run %d: still running after the --run-timeout of %g s; "
                        "stopped it and all it started%s",
                        progress ? "\n" : "", Program.c_str(), deliverable.name.c_str(), run,
                        options.runTimeout, ChildErrors(errPath).c_str());
                status = 1;
                break;
            }
            tools::RunOutput output;
            const std::string problem =
                exitStatus == 0 ? tools::ParseRunOutput(ReadWhole(outPath), &output) : "";
            if (exitStatus != 0 || !problem.empty()) {
                fprintf(stderr, "%s%s: %s, run %d: %s%s", progress ? "\n" : "", Program.c_str(),
                        deliverable.name.c_str(), run,
                        exitStatus != 0 ? ("exit status " + std::to_string(exitStatus)).c_str()
                                        : tools::TerminalText(problem).c_str(),
                        ChildErrors(errPath).c_str());
                status = 1;
                break;
            }
            deliverable.runs.push_back(output);
            deliverable.traffic.push_back(
                tools::MeasureRun(hadBefore ? &before : nullptr, hadAfter ? &after : nullptr,
                                  residency, comparison->bytesPerPhase, options.evict));
            if (deliverable.traffic.back().partlyCached) {
                fprintf(stderr,
                        "%s%s: warning: %s, run %d: storage read %.2fx the ten files' bytes "
                        "from an evicted start, so the cache served part of the run\n",
                        progress ? "\n" : "", Program.c_str(), deliverable.name.c_str(), run,
                        deliverable.traffic.back().readRatio);
            }
            deliverable.speedup =
                tools::EstimateSpeedup(tools::RunSpeedups(deliverable.runs), options.plan);
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
        tools::Conclude(&deliverable, clock, comparison->bytesPerPhase, options.evict,
                        options.plan);
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
    if (sizes->empty() || text.empty()) {
        *problem = "--sizes: give one size or more, separated by commas";
        return false;
    }
    std::sort(sizes->begin(), sizes->end());
    sizes->erase(std::unique(sizes->begin(), sizes->end()), sizes->end());
    return true;
}

// The sweep, in a fresh folder of its own inside DIR, so that nothing that was there is touched:
// each size's files in a folder of it, compared, then removed unless kept.
int SweepInFolder(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const tools::TickCalibration& clock, const std::vector<unsigned long long>& sizes,
                  const fs::path& sweepFolder, std::vector<tools::Comparison>* sweep) {
    std::error_code error;
    for (const unsigned long long size : sizes) {
        const fs::path folder = sweepFolder / ("readrace-" + std::to_string(size) + "B");
        int status = tools::PrepareFiles(Program, folder.string(), size, true, false);
        tools::Comparison comparison;
        if (status == 0) {
            // A sweep's folders share one device: why it is not measured is said once.
            status =
                RunComparison(options, found, folder.string(), clock, &comparison, sweep->empty());
        }
        if (!options.keep || status > 128) {
            fs::remove_all(folder, error);
        }
        if (status != 0) {
            if (status > 128) {
                tools::Complain(Program, "", "interrupted: removed " + folder.string());
            }
            return status;
        }
        sweep->push_back(comparison);
    }
    return 0;
}

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
    tools::DirectoryLock lock;
    if (const int refused = tools::LockForRun(Program, scratch.string(), &lock)) {
        return refused;
    }
    const std::string sweepFolder =
        tools::MakeFreshDirectory((scratch / "readrace-sweep-").string());
    if (sweepFolder.empty()) {
        tools::UnlockDirectory(&lock);
        return tools::Refuse(Program,
                             (scratch / "readrace-sweep-XXXXXX").string() +
                                 ": cannot make the sweep's folder: " + tools::LastErrorText());
    }
    const int status = SweepInFolder(options, found, clock, sizes, sweepFolder, sweep);
    if (options.keep && !fs::is_empty(sweepFolder, error)) {
        tools::Complain(Program, "", "kept the files in " + sweepFolder);
    } else {
        fs::remove_all(sweepFolder, error);
    }
    tools::UnlockDirectory(&lock);
    return status;
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
                   "runs of each program: N, or auto (from the 5th run on, until each has its "
                   "verdict: faster one way, or the same within --margin)")
        ->type_name("N|auto")
        ->capture_default_str();
    app.add_option("--max-runs", options.maxRuns,
                   "with --runs auto, at most N runs of each (the intervals are widened for every "
                   "look up to it)")
        ->type_name("N")
        ->check(CLI::Range(1, tools::LargestCap).description(""))
        ->capture_default_str();
    app.add_option("--margin", options.margin,
                   "the smallest difference that matters, as a percentage: within it the two "
                   "ways count as the same")
        ->type_name("PERCENT")
        ->capture_default_str();
    app.add_option("--level", options.level,
                   "the chance, per program, of a wrong verdict where nothing differs (with both "
                   "programs, up to twice this per session: 0.025 keeps that at 5%)")
        ->type_name("P")
        ->check(CLI::Range(0.0001, 0.5).description(""))
        ->capture_default_str();
    // CLI::PositiveNumber lets nan and inf through; neither would ever stop a run.
    const CLI::Validator finitePositive(
        [](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value <= 0) {
                return "takes a finite number of seconds above 0, not '" + text + "'";
            }
            return "";
        },
        "");
    app.add_option("--max-seconds", options.maxSeconds,
                   "with --runs auto, start no run after this long")
        ->type_name("SECONDS")
        ->check(finitePositive)
        ->capture_default_str();
    app.add_option("--run-timeout", options.runTimeout,
                   "stop a program's run, and all it started, after this many seconds, and "
                   "count it as failed")
        ->type_name("SECONDS")
        ->check(finitePositive)
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
                   "draw each run's speed-up and the per-file times (with --sizes: the speed-up "
                   "against size)")
        ->type_name("FILE");
    app.add_option("--markdown", options.markdown, "write the summary tables as Markdown")
        ->type_name("FILE");
    app.add_option("--html", options.html,
                   "write one self-contained HTML page: verdicts, charts, runs and machine")
        ->type_name("FILE");
    app.add_option("--sizes", options.sizes,
                   "a sweep: for each SIZE of a comma-separated list, write the files into a "
                   "folder of DIR, compare, and remove them")
        ->type_name("SIZE,...");
    app.add_flag("--keep", options.keep, "with --sizes, leave the files in place");
    app.add_flag("--merge", options.merge,
                 "read the JSON reports named instead of DIR and print one table across them");
    app.add_option("--group-by", options.groupBy,
                   "with --merge, one row per group of reports: the count of hosts and reports, "
                   "the share of each verdict and the median and range of the speed-ups")
        ->type_name("host,fs,device,size,program");
    app.add_flag("--check", options.check,
                 "verify each JSON report named instead of DIR against its own runs, one line "
                 "per report");
    app.add_option("--label", options.label,
                   "the name this host goes by in the report and the merged table (default: its "
                   "hostname)")
        ->type_name("NAME");
    app.add_option("DIR", options.paths,
                   "the directory with 0.tmp to 9.tmp (with --merge or --check: the "
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
               "      sweep three file sizes and draw the speed-up against size\n"
               "  readrace_compare --merge --group-by device,size reports/*.json\n"
               "      one row per kind of disk and file size across a fleet's reports");
    tools::BufferStdout();
    // What the reports record of how they were made: when, and the command line.
    const tools::PageOrigin origin = {tools::QuoteCommandLine(argc, argv),
                                      tools::IsoTimeUtc(std::time(nullptr))};
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    // An unwritable output is named now, not after the whole comparison.
    for (const std::string* output : {&options.svg, &options.markdown, &options.html}) {
        const std::string problem = output->empty() ? "" : tools::CheckWritable(*output);
        if (!problem.empty()) {
            return tools::Refuse(Program, tools::TerminalText(*output) + ": " + problem);
        }
    }
    if (options.merge && options.check) {
        return tools::Refuse(Program, "give --merge or --check, not both");
    }
    if (options.check) {
        return tools::CheckReports(Program, options.paths);
    }
    if (app.count("--group-by") > 0 && !options.merge) {
        return tools::Refuse(Program, "--group-by groups the reports of --merge");
    }
    if (options.merge) {
        tools::MergeOptions merge;
        merge.json = options.json;
        merge.markdownPath = options.markdown;
        merge.htmlPath = options.html;
        if (app.count("--group-by") > 0) {
            const std::string problem = tools::ParseGroupKeys(options.groupBy, &merge.groupBy);
            if (!problem.empty()) {
                return tools::Refuse(Program, problem);
            }
        }
        return tools::MergeReports(Program, options.paths, merge, origin);
    }
    if (options.paths.size() != 1) {
        return tools::Refuse(Program,
                             "name one directory (or give --merge or --check with reports)");
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
    double margin = 0;
    {
        std::string text = options.margin;
        if (!text.empty() && text.back() == '%') {
            text.pop_back();
        }
        char* end = nullptr;
        margin = text.empty() ? 0 : strtod(text.c_str(), &end) / 100;
        if (text.empty() || *end != '\0' || !(margin > 0 && margin <= 1)) {
            return tools::Refuse(Program, "--margin takes a percentage above 0 and up to 100 "
                                          "(such as 3%): '" +
                                              options.margin + "'");
        }
    }
    options.plan = options.fixedRuns > 0 ? tools::FixedPlan(options.level, margin)
                                         : tools::SequentialPlan(tools::FirstLook, options.maxRuns,
                                                                 options.level, margin);
    // Said before the runs rather than after them: no interval from so few runs can exclude 1.
    const int least = tools::RunsForAnInterval(tools::EstimateSpeedup({}, options.plan));
    const int most = options.fixedRuns > 0 ? options.fixedRuns : options.maxRuns;
    if (most < least) {
        fprintf(stderr,
                "%s: warning: with %s %d no %s%% interval can exclude anything, so there will be "
                "no verdict; it takes %d runs at least\n",
                Program.c_str(), options.fixedRuns > 0 ? "--runs" : "--max-runs", most,
                tools::ConfidenceText(options.level).c_str(), least);
    }
    const std::string dir = options.paths[0];
    std::error_code error;
    if (app.count("--sizes") == 0 && !fs::is_directory(dir, error)) {
        return tools::Refuse(Program, tools::TerminalText(dir) + ": not a directory");
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
        found.emplace_back();
        found.back().name = name;
        found.back().path = path;
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
    if (app.count("--sizes") > 0) {
        status = RunSweep(options, found, clock, &comparisons);
    } else {
        tools::DirectoryLock lock;
        status = tools::LockForRun(Program, dir, &lock);
        if (status == 0) {
            comparisons.emplace_back();
            status = RunComparison(options, found, dir, clock, &comparisons.back());
        }
        tools::UnlockDirectory(&lock);
    }
    if (status != 0) {
        return status;
    }
    const bool sweep = app.count("--sizes") > 0;
    const tools::MachineFacts machine = tools::GatherMachineFacts(dir, clock.ticksPerSecond);
    if (options.json) {
        fputs(
            tools::DumpJson(tools::ReportJson(comparisons, sweep, clock, machine, origin.startedAt,
                                              origin.commandLine, options.label))
                .c_str(),
            stdout);
    } else {
        for (const tools::Comparison& comparison : comparisons) {
            tools::WriteText(stdout, comparison, clock);
        }
        if (sweep) {
            tools::WriteSweepTable(stdout, comparisons);
        }
    }
    std::vector<std::pair<std::string, std::string>> written; // each file, and why not
    if (!options.svg.empty()) {
        written.push_back({options.svg, tools::WriteChartSvg(options.svg, comparisons, sweep,
                                                             clock.ticksPerSecond, machine)});
    }
    if (!options.html.empty()) {
        written.push_back(
            {options.html,
             tools::WriteComparisonHtml(options.html, comparisons, sweep, clock, machine, origin)});
    }
    for (const auto& [path, problem] : written) {
        if (!problem.empty()) {
            fprintf(stderr, "%s: %s: %s\n", Program.c_str(), tools::TerminalText(path).c_str(),
                    problem.c_str());
            return tools::CloseStdout(Program, 1);
        }
    }
    const std::string problem =
        options.markdown.empty()
            ? ""
            : tools::WriteMarkdownTable(options.markdown, "readrace on " + dir,
                                        tools::SummaryHeader(), tools::SummaryRows(comparisons));
    if (!problem.empty()) {
        fprintf(stderr, "%s: %s: cannot write the Markdown table: %s\n", Program.c_str(),
                tools::TerminalText(options.markdown).c_str(), problem.c_str());
        return tools::CloseStdout(Program, 1);
    }
    return tools::CloseStdout(Program, 0);
}
