#include "compare/measure.h"

#include "common/command_line.h"
#include "common/input_file.h"
#include "common/number_text.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "common/storage_traffic.h"
#include "common/child_process.h"
#include "common/file_ops.h"
#include "common/self_path.h"
#include "report/verdict_text.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace compare {

namespace {

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

// A run's output, read as untrusted input, since a program under --bin may print anything: at
// most a mebibyte of it. "" when read, otherwise why not.
constexpr size_t LargestRunOutput = 1 << 20;
std::string ReadRunOutput(const std::string& path, std::string* text) {
    return tools::ReadRegularFile(path, LargestRunOutput, text);
}

// Says what went wrong with a run, on a line of its own after the progress line, followed by
// the run's standard error line by line with control characters escaped, since a program under
// --bin may print anything.
void ComplainOfRun(const std::string& subject, const std::string& reason,
                   const std::string& errPath, bool progress) {
    if (progress) {
        fprintf(stderr, "\n");
    }
    std::string text;
    const std::string unread = ReadRunOutput(errPath, &text);
    if (!unread.empty()) {
        tools::Complain(Program, subject,
                        reason + "; its standard error could not be read: " + unread);
        return;
    }
    if (text.empty()) {
        tools::Complain(Program, subject, reason + "; it wrote nothing on standard error");
        return;
    }
    tools::Complain(Program, subject, reason + "; its standard error:");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        fprintf(stderr, "%s\n", tools::TerminalText(text.substr(start, end - start)).c_str());
        start = end + 1;
    }
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
    if (tools::HasInterval(e)) {
        fprintf(stderr, "  speed-up %.2f (%s%% CI %s): %s", e.median,
                tools::ConfidenceText(e.level).c_str(), tools::IntervalText(e.low, e.high).c_str(),
                tools::VerdictPhrase(e).c_str());
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
                tools::Complain(
                    Program,
                    "warning: " + d.name + " at " + tools::FormatSize(comparison.fileSize) + ", " +
                        phase + " phase",
                    tools::Format("its totals vary by %.0f%% (coefficient of variation) over %zu "
                                  "runs; the machine may have been busy: try a quieter machine "
                                  "or more runs",
                                  variation * 100, totals->size()));
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

} // namespace

int FindDeliverables(const Options& options, std::vector<tools::DeliverableRuns>* found) {
    std::vector<std::string> names = {"readrace_seq", "readrace_nobuf"};
    if (options.deliverable != "both") {
        names = {"readrace_" + options.deliverable};
    }
    for (const std::string& name : names) {
        const std::string path = FindDeliverable(options, name);
        if (path.empty()) {
            return tools::Refuse(Program, "cannot find " + name + tools::ExecutableSuffix() +
                                              " beside this program or in the build tree; name "
                                              "its directory with --bin");
        }
        found->emplace_back();
        found->back().name = name;
        found->back().path = path;
    }
    return 0;
}

namespace {

// Checks that the ten files are there and not empty, and takes their sizes: 0, or 2 after
// saying what is wrong.
int CheckTenFiles(const std::string& directory, tools::Comparison* comparison,
                  std::vector<std::string>* files) {
    comparison->bytesPerPhase = 0;
    for (int i = 0; i < tools::FileCount; ++i) {
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
        files->push_back(file.string());
    }
    return 0;
}

// What every run in one directory shares.
struct RunPlace {
    const Options& options;
    std::string directory;
    std::vector<std::string> files;
    tools::StorageDevice device;
    std::string outPath, errPath;
    bool progress;
};

// Says what the run's traffic shows that the report alone would say too late: a run that the
// cache served in part, and, once, a file system that cached what was to bypass the cache.
void WarnOfTraffic(const RunPlace& place, int run, const tools::DeliverableRuns& deliverable) {
    const tools::RunTraffic& traffic = deliverable.traffic.back();
    const std::string subject = deliverable.name + ", run " + std::to_string(run);
    if (traffic.partlyCached) {
        if (place.progress) {
            fprintf(stderr, "\n");
        }
        tools::Complain(Program, "warning: " + subject,
                        tools::Format("storage read %.2fx the ten files' bytes from an evicted "
                                      "start, so the cache served part of the run",
                                      traffic.readRatio));
    }
    int ignored = 0;
    for (const tools::RunTraffic& t : deliverable.traffic) {
        ignored += t.bypassJudged && !t.bypassHonoured ? 1 : 0;
    }
    if (ignored == 1 && traffic.bypassJudged && !traffic.bypassHonoured) {
        if (place.progress) {
            fprintf(stderr, "\n");
        }
        const std::string system =
            place.device.fileSystem.empty() ? "the file system" : place.device.fileSystem;
        tools::Complain(
            Program, "warning: " + subject,
            tools::Format("%s at %s read %s's files through the page cache (%llu of their %llu "
                          "pages were in it after a run from an evicted start): it does not "
                          "honour unbuffered reads, so the serial phase reads what the parallel "
                          "phase cached",
                          system.c_str(), place.directory.c_str(), deliverable.name.c_str(),
                          traffic.after.cached, traffic.after.pages));
    }
}

// What a run left: 0 with its 23 lines parsed into *output, else, after saying why, 1 for a run
// that failed or 128 plus the signal of an interrupt.
int TakeRunOutput(const RunPlace& place, const std::string& subject, const std::string& path,
                  const tools::ChildResult& ran, tools::RunOutput* output) {
    if (ran.interrupt != 0 || !ran.unstarted.empty()) {
        if (place.progress) {
            fprintf(stderr, "\n");
        }
        if (ran.interrupt != 0) {
            tools::Complain(Program, "", "interrupted during " + subject);
            return 128 + ran.interrupt;
        }
        tools::Complain(Program, path, "cannot start it: " + ran.unstarted);
        return 1;
    }
    if (ran.timedOut) {
        ComplainOfRun(subject,
                      tools::Format("still running after the --run-timeout of %g s; stopped it "
                                    "and all it started",
                                    place.options.runTimeout),
                      place.errPath, place.progress);
        return 1;
    }
    std::string printed;
    const bool succeeded = ran.exitStatus == 0;
    std::string problem = succeeded ? ReadRunOutput(place.outPath, &printed) : "";
    if (succeeded && problem.empty()) {
        problem = tools::ParseRunOutput(printed, output);
    }
    if (!succeeded || !problem.empty()) {
        ComplainOfRun(subject,
                      ran.signal != 0 ? "ended by signal " + std::to_string(ran.signal)
                      : !succeeded    ? "exit status " + std::to_string(ran.exitStatus)
                                      : problem,
                      place.errPath, place.progress);
        return 1;
    }
    return 0;
}

// One run of one program, from an evicted start unless --no-evict, with the storage traffic
// around it: 0 with the run and its traffic added, else TakeRunOutput's status.
int RunOnce(const RunPlace& place, int run, tools::Comparison* comparison,
            tools::DeliverableRuns* deliverable) {
    const Options& options = place.options;
    if (options.evict) {
        const int status = EvictTenFiles(place.files, place.progress, &comparison->evictionChecked);
        if (status != 0) {
            return status;
        }
    }
    // The counters are read outside the run's own timed phases, as close around it as the
    // process start allows.
    tools::StorageCounters before, after;
    const bool hadBefore = tools::ReadStorageCounters(place.device, &before);
    const tools::ChildResult ran = tools::RunChild(
        {{deliverable->path}, place.directory, place.outPath, place.errPath, options.runTimeout});
    const bool hadAfter = hadBefore && tools::ReadStorageCounters(place.device, &after);
    const tools::Residency residency = tools::CachedPagesOf(place.files);
    tools::RunOutput output;
    const int status = TakeRunOutput(place, deliverable->name + ", run " + std::to_string(run),
                                     deliverable->path, ran, &output);
    if (status != 0) {
        return status;
    }
    deliverable->runs.push_back(output);
    deliverable->traffic.push_back(tools::MeasureRun(
        hadBefore ? &before : nullptr, hadAfter ? &after : nullptr, residency,
        comparison->bytesPerPhase, options.evict, deliverable->name != "readrace_nobuf"));
    WarnOfTraffic(place, run, *deliverable);
    deliverable->speedup =
        tools::EstimateSpeedup(tools::RunSpeedups(deliverable->runs), options.plan);
    return 0;
}

// Runs each program in turn, a run of each a round, until the stopping rule says stop or a run
// fails: 0, or RunOnce's status.
int RunUntilStopped(const RunPlace& place, tools::Comparison* comparison) {
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    for (int run = 1; status == 0 && comparison->stoppedBy.empty(); ++run) {
        for (tools::DeliverableRuns& deliverable : comparison->deliverables) {
            if (place.progress) {
                ShowProgress(run, deliverable);
            }
            status = RunOnce(place, run, comparison, &deliverable);
            if (status != 0) {
                break;
            }
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status == 0) {
            comparison->stoppedBy = StopRule(place.options, comparison->deliverables, run, seconds);
        }
    }
    if (place.progress) {
        fprintf(stderr, "\r\033[K");
    }
    return status;
}

} // namespace

int RunComparison(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const std::string& directory, const tools::TickCalibration& clock,
                  tools::Comparison* comparison, bool sayUnmeasured) {
    comparison->directory = directory;
    comparison->evicted = options.evict;
    comparison->deliverables = found;
    std::vector<std::string> files;
    if (const int status = CheckTenFiles(directory, comparison, &files); status != 0) {
        return status;
    }
    std::error_code error;
    // A folder of its own, never one that was there before, for the runs' output.
    std::string scratchText;
    const std::string unmade = tools::MakeFreshDirectory(
        (fs::temp_directory_path(error) / "readrace_compare-").string(), &scratchText);
    if (!unmade.empty()) {
        tools::Complain(Program,
                        (fs::temp_directory_path(error) / "readrace_compare-XXXXXX").string(),
                        "cannot make a scratch folder: " + unmade);
        return 1;
    }
    const fs::path scratch = scratchText;
    const RunPlace place{options,
                         directory,
                         files,
                         tools::FindStorageDevice(directory, files),
                         (scratch / "stdout").string(),
                         (scratch / "stderr").string(),
                         tools::IsTerminal(2)};
    comparison->unmeasured = place.device.unmeasured;
    comparison->devices = place.device.names;
    comparison->evictionChecked = options.evict;
    if (!place.device.unmeasured.empty() && sayUnmeasured) {
        tools::Complain(Program, directory,
                        "storage traffic not measured: " + place.device.unmeasured);
    }
    const int status = RunUntilStopped(place, comparison);
    fs::remove_all(scratch, error);
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

} // namespace compare
