// readrace_merge_bench: how the merge's time and memory grow with a fleet. Writes generated
// reports, as readrace_compare --json writes them, under as many host labels as asked, times
// readrace_compare --merge over each count side by side and prints the ratio, so that growth is
// measured, not assumed.
#include "common/command_line.h"
#include "common/safe_text.h"
#include "common/child_process.h"
#include "common/file_ops.h"
#include "common/input_file.h"
#include "common/outcome_percentage.h"
#include "common/version.h"
#include "report/json_report.h"
#include "runs/comparison.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::vector<int> counts = {1000, 10000};
    int runs = 6;
    std::string compare = READRACE_COMPARE;
};

// Runs of one program whose totals follow a fixed pseudo-random walk, so every report differs a
// little but each is what the deliverables print.
tools::DeliverableRuns MadeRuns(const std::string& name, int runs, unsigned* seed, double ratio) {
    tools::DeliverableRuns d;
    d.name = name;
    for (int r = 0; r < runs; ++r) {
        tools::RunOutput run;
        for (int phase = 0; phase < 2; ++phase) {
            long long total = 0;
            for (int file = 0; file < 10; ++file) {
                *seed = *seed * 1103515245u + 12345u;
                const long long ticks =
                    (long long)((1000000 + (*seed >> 12) % 200000) * (phase == 0 ? 1 : ratio));
                (phase == 0 ? run.parallel : run.serial)
                    .push_back({phase == 0 ? (file % 2 ? 5 + file / 2 : file / 2) : file, ticks});
                total += ticks;
            }
            (phase == 0 ? run.parallelTotal : run.serialTotal) = total;
        }
        run.parallelWorse = run.serialTotal <= run.parallelTotal;
        const long long longer = std::max(run.parallelTotal, run.serialTotal);
        const long long shorter = std::min(run.parallelTotal, run.serialTotal);
        run.hasPercentage = true;
        run.percentage = tools::OutcomePercentage(longer, shorter);
        d.runs.push_back(run);
    }
    return d;
}

// Writes one generated report, every write checked: a full scratch disk must stop the bench
// with its reason, not hand the merge a truncated report to refuse. Not WriteFileWhole: a sync
// per report, ten thousand of them, is not what this bench times. "" or the reason.
std::string WriteReport(const fs::path& path, const std::string& text) {
    int file = -1;
    std::string failed = tools::CreateNewFile(path.string(), &file);
    if (failed.empty()) {
        failed = tools::WriteAll(file, text.data(), text.size());
        const std::string closed = tools::CloseFile(file);
        failed = failed.empty() ? closed : failed;
    }
    return failed;
}

// Writes count reports into folder as r<N>.json; their names, relative to it, or none where one
// could not be written, which it says.
std::vector<std::string> WriteReports(const Options& options, const fs::path& folder, int count) {
    std::vector<std::string> names;
    unsigned seed = 20261209;
    tools::TickCalibration clock = {2.1e9, 300, true};
    tools::MachineFacts machine;
    machine.kernel = "Linux 6.1";
    machine.cpu = "generated";
    machine.cores = 8;
    machine.tscHz = clock.ticksPerSecond;
    machine.filesystem = "ext4";
    machine.version = tools::Version();
    for (int i = 0; i < count; ++i) {
        tools::Comparison comparison;
        comparison.directory = "/data/readrace";
        comparison.fileSize = 64 << 20;
        comparison.bytesPerPhase = 10 * comparison.fileSize;
        comparison.stoppedBy = "--runs " + std::to_string(options.runs);
        comparison.deliverables = {MadeRuns("readrace_seq", options.runs, &seed, 0.8),
                                   MadeRuns("readrace_nobuf", options.runs, &seed, 1.1)};
        for (tools::DeliverableRuns& d : comparison.deliverables) {
            tools::Conclude(&d, clock, comparison.bytesPerPhase, true);
        }
        machine.host = "host" + std::to_string(i);
        machine.device = "disk model " + std::to_string(i % 5);
        names.push_back("r" + std::to_string(i) + ".json");
        const tools::RunContext context = {
            "",           clock, machine,
            machine.host, {},    {"readrace_compare --json", "2026-12-09T06:00:00Z"}};
        const std::string failed = WriteReport(
            folder / names.back(), tools::RenderJson(tools::ComparisonReport{comparison, context}));
        if (!failed.empty()) {
            tools::Complain("readrace_merge_bench", (folder / names.back()).string(),
                            "cannot write it: " + failed);
            return {};
        }
    }
    return names;
}

// Far past any merge this times: a merge that hangs stops the bench, not the machine.
constexpr double MergeTimeoutSeconds = 3600;

struct Timed {
    double seconds = 0;
    double cpuSeconds = 0; // user and system: what a busy machine does not inflate
    long long maxRssKiB = 0;
    int status = -1;   // the merge's exit status, or 128 plus the signal that ended it
    int interrupt = 0; // an interrupt of this bench, which stops it
};

// readrace_compare --merge over the names, in folder, with its table kept beside them and its
// standard error shown where it fails.
Timed TimeMerge(const Options& options, const fs::path& folder,
                const std::vector<std::string>& names) {
    std::vector<std::string> command = {options.compare, "--merge"};
    command.insert(command.end(), names.begin(), names.end());
    const std::string errPath = (folder / "merge.err").string();
    const auto start = std::chrono::steady_clock::now();
    const tools::ChildResult ran = tools::RunChild(
        {command, folder.string(), (folder / "merge.out").string(), errPath, MergeTimeoutSeconds});
    Timed timed;
    timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timed.cpuSeconds = ran.cpuSeconds;
    timed.maxRssKiB = ran.peakKiB;
    timed.interrupt = ran.interrupt;
    timed.status = ran.signal != 0 ? 128 + ran.signal : ran.exitStatus;
    if (!ran.unstarted.empty()) {
        tools::Complain("readrace_merge_bench", options.compare,
                        "cannot start it: " + ran.unstarted);
    } else if (ran.timedOut) {
        tools::Complain("readrace_merge_bench", options.compare,
                        "still running after " + std::to_string((int)MergeTimeoutSeconds) +
                            " s; stopped it");
    } else if (timed.status != 0) {
        fputs(tools::ReadWholeFile(errPath).c_str(), stderr);
    }
    return timed;
}

// Each count's time and CPU against the first count's, beside how many more reports it merged.
void PrintGrowth(const Options& options, const std::vector<Timed>& times) {
    for (size_t i = 1; i < times.size(); ++i) {
        printf("%d reports took %.1f times as long as %d, %.1f times the CPU (%.1f times as "
               "many)\n",
               options.counts[i], times[i].seconds / times[0].seconds, options.counts[0],
               times[i].cpuSeconds / times[0].cpuSeconds,
               (double)options.counts[i] / options.counts[0]);
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Times readrace_compare --merge over generated reports of many hosts, for each "
                 "count side by side, and prints how the time grows.",
                 "readrace_merge_bench");
    tools::AddVersion(app);
    Options options;
    app.add_option("--reports", options.counts, "the counts of reports to merge")
        ->type_name("N,...")
        ->delimiter(',')
        ->check(CLI::Range(1, 100000).description(""))
        ->capture_default_str();
    app.add_option("--runs", options.runs, "runs of each program in each report")
        ->type_name("N")
        ->check(CLI::Range(1, 1000).description(""))
        ->capture_default_str();
    app.add_option("--compare", options.compare, "the readrace_compare to time")
        ->type_name("FILE")
        ->capture_default_str();
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    std::error_code error;
    options.compare = fs::absolute(options.compare, error).string(); // the merge runs elsewhere
    std::string folder;
    const std::string unmade = tools::MakeFreshDirectory(
        (fs::temp_directory_path(error) / "readrace_merge_bench-").string(), &folder);
    if (!unmade.empty()) {
        tools::Complain("readrace_merge_bench", "", "cannot make a scratch folder: " + unmade);
        return 1;
    }
    int status = 0;
    std::vector<Timed> times;
    for (const int count : options.counts) {
        const fs::path place = fs::path(folder) / std::to_string(count);
        const std::vector<std::string> names = fs::create_directory(place, error)
                                                   ? WriteReports(options, place, count)
                                                   : std::vector<std::string>{};
        if (names.empty()) {
            if (error) {
                tools::Complain("readrace_merge_bench", place.string(),
                                "cannot make it: " + error.message());
            }
            fs::remove_all(folder, error);
            return 1;
        }
        const Timed timed = TimeMerge(options, place, names);
        fs::remove_all(place, error);
        if (timed.interrupt != 0) {
            tools::Complain("readrace_merge_bench", "", "interrupted");
            fs::remove_all(folder, error);
            return 128 + timed.interrupt;
        }
        printf("merge of %6d reports: %7.2f s (%.2f s of CPU), %7.1f MB peak%s\n", count,
               timed.seconds, timed.cpuSeconds, (double)timed.maxRssKiB / 1024,
               timed.status == 0
                   ? ""
                   : ("  (exit status " + std::to_string(timed.status) + ")").c_str());
        status = timed.status == 0 ? status : 1;
        times.push_back(timed);
    }
    PrintGrowth(options, times);
    fs::remove_all(folder, error);
    return status;
}
