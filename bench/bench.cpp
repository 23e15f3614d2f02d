// readrace_bench: does a file's time go to the read, and not to overhead readrace could avoid?
// Runs the deliverables and a bare reference side by side, alternating, and prints the ratios
// of their median per-file ticks; then whether readrace's verdict agrees with fio's.
#include "fio_run.h"
#include "reference_read.h"
#include "run_program.h"

#include "common/command_line.h"
#include "common/file_ops.h"
#include "common/file_set.h"
#include "common/interrupts.h"
#include "common/machine_facts.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "prepare/prepare_files.h"
#include "runs/run_output.h"
#include "runs/run_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

struct Options {
    int runs = 9;
    bool quick = false;
    bool fioHugePages = false;
    std::string dir;
    std::string scratch; // this run's own fresh folder in dir, which holds all it writes
};

struct Run {
    tools::RunOutput output;
    long long maxRssKiB = 0;
};

// A run that fails, or whose output does not parse, has no figures to give: the bench stops.
int RunDeliverable(const Options& options, const std::string& program, const std::string& dir,
                   Run* run) {
    std::string text;
    int exitStatus = 0;
    if (const int status =
            RunIn(options.scratch, {program}, dir, &text, &run->maxRssKiB, &exitStatus)) {
        return status;
    }
    const std::string problem = tools::ParseRunOutput(text, &run->output);
    if (exitStatus != 0 || !problem.empty()) {
        tools::Complain("readrace_bench", program + " in " + dir,
                        "exit status " + std::to_string(exitStatus) + " " + problem);
        return 1;
    }
    return 0;
}

// Ten files of size, as readrace_prepare writes them; PrepareFiles says what went wrong. Its
// refusals are the bench's failures too.
int Prepare(const std::string& dir, const std::string& size) {
    const int status =
        tools::PrepareFiles("readrace_bench", dir, *tools::ParseSize(size), false, false);
    return status == 0 || status >= 128 ? status : 1;
}

// readrace_prepare makes no empty files, which the overhead's measure needs.
int MakeEmptyFiles(const std::string& dir) {
    if (mkdir(dir.c_str(), 0755) != 0) {
        return Die(dir);
    }
    for (int i = 0; i < tools::FileCount; ++i) {
        const std::string path = dir + "/" + tools::FileName(i);
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        if (file < 0) {
            return Die(path);
        }
        close(file);
    }
    return 0;
}

// A file left cached would make a "cold" figure a cached one: stop instead.
int EvictAll(const std::string& dir) {
    for (int i = 0; i < tools::FileCount; ++i) {
        const std::string path = dir + "/" + tools::FileName(i);
        const std::string problem = tools::EvictFile(path);
        if (!problem.empty()) {
            tools::Complain("readrace_bench", path, "cannot evict from the cache: " + problem);
            return 1;
        }
    }
    return 0;
}

unsigned long long FileSize(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? (unsigned long long)status.st_size : 0;
}

struct Comparison {
    double ours = 0;
    double reference = 0; // a buffer touched beforehand, of ordinary pages
    double huge = 0;      // a buffer touched beforehand, of huge pages: the strictest limit
    double fresh = 0;     // a fresh malloc'd buffer per file, as the ordinary allocator gives
    double floor = 0;     // a fresh buffer per file from readrace's own allocator: its floor
    long long maxRssKiB = 0;
};

// Each file's ticks over all the rounds, for their medians, and the deliverable's peak memory.
struct Samples {
    std::vector<double> ours, reference, huge, fresh, floor;
    long long maxRssKiB = 0;
};

// One run of the deliverable, then a pass of each reference, over the same files.
int CompareRound(const Options& options, const std::string& program, const std::string& dir,
                 bool direct, bool evict, bool withFresh, const Touched& plain, const Touched& huge,
                 Samples* samples) {
    if (const int status = evict ? EvictAll(dir) : 0) {
        return status;
    }
    Run run;
    if (const int status = RunDeliverable(options, program, dir, &run)) {
        return status;
    }
    samples->maxRssKiB = std::max(samples->maxRssKiB, run.maxRssKiB);
    for (const tools::FileTicks& time : run.output.serial) {
        samples->ours.push_back((double)time.ticks);
    }
    if (const int status = evict ? EvictAll(dir) : 0) {
        return status;
    }
    if (const int status =
            ReferencePass(dir, direct, PreTouched, plain.buffer, &samples->reference)) {
        return status;
    }
    if (const int status = ReferencePass(dir, direct, PreTouched, huge.buffer, &samples->huge)) {
        return status;
    }
    if (const int status = evict ? EvictAll(dir) : 0) {
        return status;
    }
    if (const int status =
            ReferencePass(dir, direct, FreshReadraceBuffer, nullptr, &samples->floor)) {
        return status;
    }
    return withFresh ? ReferencePass(dir, direct, FreshMalloc, nullptr, &samples->fresh) : 0;
}

// Alternates runs of the deliverable and passes of the references over the same files; the
// medians in *result.
int Compare(const Options& options, const std::string& program, const std::string& dir, bool direct,
            bool evict, bool withFresh, Comparison* result) {
    unsigned long long largest = 0;
    for (int i = 0; i < tools::FileCount; ++i) {
        largest = std::max(largest, FileSize(dir + "/" + tools::FileName(i)));
    }
    Touched plain;
    if (const int status = TouchedBuffer((size_t)largest, false, &plain)) {
        return status;
    }
    Touched huge;
    int status = TouchedBuffer((size_t)largest, true, &huge);
    if (status != 0) {
        FreeTouchedBuffer(plain);
        return status;
    }
    Samples samples;
    for (int r = 0; r < options.runs && status == 0; ++r) {
        status =
            CompareRound(options, program, dir, direct, evict, withFresh, plain, huge, &samples);
    }
    FreeTouchedBuffer(plain);
    FreeTouchedBuffer(huge);
    if (status != 0) {
        return status;
    }
    result->ours = tools::MedianOf(samples.ours);
    result->reference = tools::MedianOf(samples.reference);
    result->huge = tools::MedianOf(samples.huge);
    result->fresh = withFresh ? tools::MedianOf(samples.fresh) : 0;
    result->floor = tools::MedianOf(samples.floor);
    result->maxRssKiB = samples.maxRssKiB;
    return 0;
}

// One round's verdict is noise where two phases are close; the medians over all rounds are not.
int CompareVerdictWithFio(const Options& options, const std::string& dir, bool direct) {
    const unsigned long long fileSize = FileSize(dir + "/" + tools::FileName(0));
    std::vector<double> ourParallel, ourSerial, fioParallel, fioSerial;
    for (int r = 0; r < options.runs; ++r) {
        if (const int status = EvictAll(dir)) {
            return status;
        }
        Run run;
        if (const int status =
                RunDeliverable(options, direct ? READRACE_NOBUF : READRACE_SEQ, dir, &run)) {
            return status;
        }
        ourParallel.push_back((double)run.output.parallelTotal);
        ourSerial.push_back((double)run.output.serialTotal);
        // As readrace does: parallel from an evicted start, then serial right after it.
        if (const int status = EvictAll(dir)) {
            return status;
        }
        double parallel = 0;
        double serial = 0;
        if (const int status = FioRuntime(options.scratch, FioJobs(direct, true, true, fileSize),
                                          dir, &parallel)) {
            return status;
        }
        if (const int status = FioRuntime(options.scratch, FioJobs(direct, false, false, fileSize),
                                          dir, &serial)) {
            return status;
        }
        fioParallel.push_back(parallel);
        fioSerial.push_back(serial);
    }
    const double ours[2] = {tools::MedianOf(ourParallel), tools::MedianOf(ourSerial)};
    const double fio[2] = {tools::MedianOf(fioParallel), tools::MedianOf(fioSerial)};
    const bool ourParallelWorse = ours[0] >= ours[1];
    const bool fioParallelWorse = fio[0] >= fio[1];
    const bool decided = std::max(fio[0], fio[1]) > 1.10 * std::min(fio[0], fio[1]);
    printf("   %-6s readrace \"%s was worse\" (median totals %.2f : 1); fio parallel %.0f ms, "
           "serial %.0f ms over %d rounds: %s\n",
           direct ? "nobuf:" : "seq:", ourParallelWorse ? "Parallel" : "Serial", ours[0] / ours[1],
           fio[0], fio[1], options.runs,
           !decided                               ? "within 10%, no verdict to compare"
           : fioParallelWorse == ourParallelWorse ? "agree"
                                                  : "DISAGREE");
    return 0;
}

void PrintRatio(const char* title, const Comparison& c, double goal, bool withHuge) {
    const double ratio = c.ours / c.reference;
    printf("%-44s %14.0f %14.0f %7.2fx  (goal <= %.2fx)%s\n", title, c.ours, c.reference, ratio,
           goal, ratio <= goal ? "" : "  OVER");
    if (withHuge) {
        printf("   against a touched buffer of huge pages, a limit readrace cannot reach by "
               "design: %.2fx\n",
               c.ours / c.huge);
        printf("   against a fresh buffer per file from readrace's own allocator (huge pages "
               "from 2 MiB), the floor for its fresh buffers: %.2fx\n",
               c.ours / c.floor);
    }
}

// Where this run of the bench puts its three sets of files, all in its scratch folder, and how
// large they are.
struct Layout {
    std::string empty, cached, direct;
    const char* cachedSize;
    const char* directSize;
};

int PrepareLayout(const Layout& layout) {
    if (const int status = MakeEmptyFiles(layout.empty)) {
        return status;
    }
    if (const int status = Prepare(layout.cached, layout.cachedSize)) {
        return status;
    }
    return Prepare(layout.direct, layout.directSize);
}

// The three per-file comparisons, printed as each ends; the two reads' figures in *cachedRead
// and *directRead for the peak memory.
int CompareReads(const Options& options, const Layout& layout, Comparison* cachedRead,
                 Comparison* directRead) {
    printf("readrace_bench: %d runs of each, alternating with the reference; median ticks per "
           "file\nof the serial phase over all runs\n\n",
           options.runs);
    printf("%-44s %14s %14s %8s\n", "", "readrace", "reference", "ratio");
    Comparison overhead;
    if (const int status =
            Compare(options, READRACE_SEQ, layout.empty, false, false, false, &overhead)) {
        return status;
    }
    PrintRatio("1. empty files: per-file overhead", overhead, 1.10, false);

    // Read once, so that every run below reads the cache.
    Run warming;
    if (const int status = RunDeliverable(options, READRACE_SEQ, layout.cached, &warming)) {
        return status;
    }
    if (const int status =
            Compare(options, READRACE_SEQ, layout.cached, false, false, true, cachedRead)) {
        return status;
    }
    const std::string cachedTitle =
        std::string("2. cached ") + layout.cachedSize + " files, readrace_seq";
    PrintRatio(cachedTitle.c_str(), *cachedRead, 1.30, true);
    printf("   the ordinary allocator's fresh buffer instead: %.2fx\n",
           cachedRead->fresh / cachedRead->reference);

    if (const int status =
            Compare(options, READRACE_NOBUF, layout.direct, true, true, false, directRead)) {
        return status;
    }
    const std::string directTitle =
        std::string("3. direct ") + layout.directSize + " files, readrace_nobuf, evicted";
    PrintRatio(directTitle.c_str(), *directRead, 1.15, true);
    return 0;
}

// fio's buffers have ordinary pages, readrace's huge ones; a direct read pins every page of its
// buffer, so fio's serial job pays more per byte than readrace's serial phase.
int CompareOnHugePages(const Options& options, const std::string& dir) {
    const std::string setting = tools::TransparentHugePages();
    if (!options.fioHugePages) {
        printf("   fio's buffers use ordinary pages; --fio-huge-pages compares with fio's "
               "buffers on huge pages too\n");
        return 0;
    }
    if (setting.empty() || !SetHugePageSetting("always").empty()) {
        printf("   --fio-huge-pages: cannot set %s (it needs root)\n", HugePageSetting);
        return 0;
    }
    printf("   with transparent huge pages set to \"always\" for fio (then back to \"%s\"):\n",
           setting.c_str());
    // The machine's setting goes back whatever happens in between, a failure or an interrupt
    // too.
    int status = CompareVerdictWithFio(options, dir, false);
    if (status == 0) {
        status = CompareVerdictWithFio(options, dir, true);
    }
    return SetHugePageSettingBack(setting, status);
}

int CompareWithFio(const Options& options, const std::string& dir) {
    printf("\n4. verdict against fio (two jobs of five files against one job of ten)\n");
    if (system("command -v fio >/dev/null 2>&1") != 0) {
        printf("   fio is not installed (apt-get install fio): not compared\n");
        return 0;
    }
    if (const int status = CompareVerdictWithFio(options, dir, false)) {
        return status;
    }
    if (const int status = CompareVerdictWithFio(options, dir, true)) {
        return status;
    }
    return CompareOnHugePages(options, dir);
}

void PrintPeakMemory(const Layout& layout, const Comparison& cachedRead,
                     const Comparison& directRead) {
    const unsigned long long largest[2] = {FileSize(layout.cached + "/" + tools::FileName(0)),
                                           FileSize(layout.direct + "/" + tools::FileName(0))};
    printf("\npeak memory (getrusage): readrace_seq %.1f MiB over %s files, readrace_nobuf %.1f "
           "MiB over %s files\n",
           cachedRead.maxRssKiB / 1024.0, layout.cachedSize, directRead.maxRssKiB / 1024.0,
           layout.directSize);
    printf("bound, two largest files + 16 MiB: %.1f MiB and %.1f MiB%s\n",
           (2.0 * (double)largest[0] + (16 << 20)) / (1 << 20),
           (2.0 * (double)largest[1] + (16 << 20)) / (1 << 20),
           cachedRead.maxRssKiB * 1024.0 <= 2.0 * (double)largest[0] + (16 << 20) &&
                   directRead.maxRssKiB * 1024.0 <= 2.0 * (double)largest[1] + (16 << 20)
               ? ""
               : "  OVER");
}

// The whole comparison, in options.scratch. Returns 0, or the exit status of what stopped it.
int RunBench(const Options& options) {
    const Layout layout = {options.scratch + "/empty", options.scratch + "/cached",
                           options.scratch + "/direct", options.quick ? "4MiB" : "64MiB",
                           options.quick ? "2MiB" : "32MiB"};
    if (const int status = PrepareLayout(layout)) {
        return status;
    }
    Comparison cachedRead;
    Comparison directRead;
    if (const int status = CompareReads(options, layout, &cachedRead, &directRead)) {
        return status;
    }
    if (const int status = CompareWithFio(options, layout.direct)) {
        return status;
    }
    PrintPeakMemory(layout, cachedRead, directRead);
    return 0;
}

} // namespace
} // namespace bench

int main(int argc, char** argv) {
    bench::Options options;
    CLI::App app("Runs readrace_seq and readrace_nobuf side by side with bare references and fio, "
                 "alternating, and prints the ratios.",
                 "readrace_bench");
    tools::AddVersion(app);
    app.add_flag("--quick", options.quick, "small files and three runs");
    app.add_option("--runs", options.runs, "runs of each")
        ->type_name("N")
        ->check(CLI::Range(1, 100000).description(""))
        ->capture_default_str();
    app.add_option("--dir", options.dir,
                   "where the files go, in a fresh folder of its own that is removed at the end")
        ->type_name("DIR")
        ->default_str(READRACE_BENCH_DIR);
    app.add_flag("--fio-huge-pages", options.fioHugePages,
                 "also compare with fio's buffers on huge pages (needs root)");
    app.footer("Examples:\n"
               "  readrace_bench --quick\n"
               "      small files and three runs: a check that everything runs\n"
               "  readrace_bench --runs 10 --dir /data/bench\n"
               "      ten runs of each on the disk that holds /data/bench");
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.quick && app.count("--runs") == 0) {
        options.runs = 3;
    }
    if (options.dir.empty()) {
        options.dir = READRACE_BENCH_DIR;
    }
    std::error_code error;
    std::filesystem::create_directories(options.dir, error);
    // Everything it writes goes into a folder of its own, never over what is in dir.
    const std::string unmade = tools::MakeFreshDirectory(
        std::filesystem::absolute(options.dir, error).string() + "/readrace_bench-",
        &options.scratch);
    if (!unmade.empty()) {
        tools::Complain("readrace_bench", options.dir, "cannot make a folder there: " + unmade);
        return 1;
    }
    int status = bench::RunBench(options);
    // The runs hold interrupts back until they can clean up; one that came after the last is
    // still waiting.
    if (const int signal = status == 0 ? tools::PendingInterrupt() : 0) {
        tools::Complain("readrace_bench", "", "interrupted");
        status = 128 + signal;
    }
    std::filesystem::remove_all(options.scratch, error);
    // A figure that never reached its reader is a failed run, not a quiet one.
    return tools::CloseStdout("readrace_bench", status);
}
