// readrace_bench: does a file's time go to the read, and not to overhead readrace could avoid?
// Runs the deliverables and a bare reference side by side, alternating, and prints the ratios
// of their median per-file ticks; then whether readrace's verdict agrees with fio's.
#include "common/command_line.h"
#include "common/input_file.h"
#include "common/machine_facts.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "common/child_process.h"
#include "platform/platform.h"
#include "common/file_ops.h"
#include "common/interrupts.h"
#include "prepare/prepare_files.h"
#include "report/report_reader.h"
#include "runs/comparison.h"
#include "runs/run_output.h"
#include "runs/run_stats.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <x86intrin.h>

namespace {

struct Options {
    int runs = 9;
    bool quick = false;
    bool fioHugePages = false;
    std::string dir;
    std::string scratch; // this run's own fresh folder in dir, which holds all it writes
};

constexpr const char* HugePageSetting = "/sys/kernel/mm/transparent_hugepage/enabled";

// Far past any run of these sizes: a deliverable or fio that hangs stops the bench, not the
// machine's whole evening.
constexpr double RunTimeoutSeconds = 600;

bool SetHugePageSetting(const std::string& value) {
    std::ofstream out(HugePageSetting);
    out << value << "\n";
    out.flush();
    return (bool)out;
}

struct Run {
    tools::RunOutput output;
    long long maxRssKiB = 0;
};

// What a failed system call left in errno, after what was tried; returns the exit status, 1.
int Die(const std::string& what) {
    tools::Complain("readrace_bench", what, strerror(errno));
    return 1;
}

// Runs a command in dir, its output kept in the scratch folder: its standard output in *text,
// its exit status in *exitStatus (-1 where it could not run) and its peak memory in *peakKiB.
// Returns 0, or the bench's exit status after an interrupt or a run that would not end.
int RunIn(const Options& options, const std::vector<std::string>& command, const std::string& dir,
          std::string* text, long long* peakKiB, int* exitStatus) {
    const std::string out = options.scratch + "/stdout";
    const tools::ChildResult ran =
        tools::RunChild({command, dir, out, options.scratch + "/stderr", RunTimeoutSeconds});
    *exitStatus = ran.exitStatus;
    *peakKiB = ran.peakKiB;
    if (ran.interrupt != 0) {
        tools::Complain("readrace_bench", "", "interrupted during " + command[0]);
        return 128 + ran.interrupt;
    }
    if (!ran.unstarted.empty()) {
        tools::Complain("readrace_bench", command[0], "cannot start it: " + ran.unstarted);
        return 1;
    }
    if (ran.timedOut) {
        tools::Complain("readrace_bench", command[0] + " in " + dir,
                        "still running after " + std::to_string((int)RunTimeoutSeconds) +
                            " s; stopped it");
        return 1;
    }
    *text = tools::ReadWholeFile(out);
    return 0;
}

// A run that fails, or whose output does not parse, has no figures to give: the bench stops.
int RunDeliverable(const Options& options, const std::string& program, const std::string& dir,
                   Run* run) {
    std::string text;
    int exitStatus = 0;
    if (const int status = RunIn(options, {program}, dir, &text, &run->maxRssKiB, &exitStatus)) {
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

// How the reference gets its buffer.
enum Buffer { PreTouched, FreshMalloc, FreshReadraceBuffer };

constexpr size_t HugePage = 2u << 20;

// The alignment readrace_nobuf asks of its reads of path, from the product's own layer.
size_t DirectIoAlignment(const std::string& path) {
    const std::wstring name(path.begin(), path.end());
    return GetDirectIoAlignment(name.c_str());
}

// The bare loop: per file, the system calls that readrace's step makes, and nothing else.
// Appends each file's ticks.
int ReferencePass(const std::string& dir, bool direct, Buffer buffer, char* touched,
                  std::vector<double>* ticks) {
    for (int i = 0; i < tools::FileCount; ++i) {
        const std::string path = dir + "/" + tools::FileName(i);
        const unsigned long long start = __rdtsc();
        const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                                                (direct ? O_DIRECT : 0));
        if (file < 0) {
            return Die("open " + path);
        }
        struct stat status;
        // Both, as readrace's open and size query each make one.
        const bool known = fstat(file, &status) == 0;
        if (!direct) {
            posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
        }
        if (!known || fstat(file, &status) != 0) {
            const int error = errno;
            close(file);
            errno = error;
            return Die("fstat " + path);
        }
        const size_t size = (size_t)status.st_size;
        const size_t alignment = direct ? DirectIoAlignment(path) : 0;
        const size_t asked = direct ? (size + alignment - 1) & ~(alignment - 1) : size;
        char* into = buffer == PreTouched ? touched : nullptr;
        if (buffer == FreshMalloc) {
            into = (char*)malloc(asked);
            // Unchecked, a failed allocation would be told as a short read.
            if (into == nullptr && asked > 0) {
                close(file);
                return Die("malloc of " + std::to_string(asked) + " bytes for " + path);
            }
        } else if (buffer == FreshReadraceBuffer) {
            // The very buffer readrace reads into: the product's own allocation.
            into = (char*)AllocateBuffer(asked, (DWORD)alignment);
            if (into == nullptr) {
                close(file);
                return Die("a buffer of " + std::to_string(asked) + " bytes for " + path);
            }
        }
        size_t done = 0;
        int readError = 0;
        while (done < asked) {
            const size_t wanted = asked - done;
            const ssize_t got = read(file, into + done, wanted);
            if (got <= 0) {
                readError = got < 0 ? errno : 0;
                break;
            }
            done += (size_t)got;
            if ((size_t)got < wanted) {
                break; // the end of the file
            }
        }
        if (buffer == FreshMalloc) {
            free(into);
        } else if (buffer == FreshReadraceBuffer) {
            ReleaseBuffer(into, asked, (DWORD)alignment);
        }
        close(file);
        const unsigned long long stop = __rdtsc();
        if (done != size) {
            tools::Complain("readrace_bench", path,
                            "reference read " + std::to_string(done) + " of " +
                                std::to_string(size) + " bytes" +
                                (readError != 0 ? ": " + tools::ErrorText(readError) : ""));
            return 1;
        }
        ticks->push_back((double)(stop - start));
    }
    return 0;
}

struct Comparison {
    double ours = 0;
    double reference = 0; // a buffer touched beforehand, of ordinary pages
    double huge = 0;      // a buffer touched beforehand, of huge pages: the strictest limit
    double fresh = 0;     // a fresh malloc'd buffer per file, as the ordinary allocator gives
    double floor = 0;     // a fresh buffer per file from readrace's own allocator: its floor
    long long maxRssKiB = 0;
};

struct Touched {
    char* mapped;
    size_t length;
    char* buffer; // on a huge-page boundary within the mapping
};

// A buffer of at least size bytes, touched, with or without huge pages.
int TouchedBuffer(size_t size, bool hugePages, Touched* touched) {
    const size_t hugePage = HugePage;
    touched->length = ((size + hugePage - 1) & ~(hugePage - 1)) + 2 * hugePage;
    touched->mapped = (char*)mmap(nullptr, touched->length, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (touched->mapped == MAP_FAILED) {
        return Die("mmap");
    }
    touched->buffer =
        (char*)(((uintptr_t)touched->mapped + hugePage - 1) & ~(uintptr_t)(hugePage - 1));
    madvise(touched->buffer, touched->length - hugePage,
            hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    memset(touched->buffer, 1, touched->length - hugePage);
    return 0;
}

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
        munmap(plain.mapped, plain.length);
        return status;
    }
    Samples samples;
    for (int r = 0; r < options.runs && status == 0; ++r) {
        status =
            CompareRound(options, program, dir, direct, evict, withFresh, plain, huge, &samples);
    }
    munmap(plain.mapped, plain.length);
    munmap(huge.mapped, huge.length);
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

// fio's read runtime in its JSON output (the first job's: the jobs report as one group), or
// why there is none.
std::string ParseFioRuntime(const std::string& output, double* milliseconds) {
    // fio may warn on its standard output before the JSON.
    const size_t start = output.find('{');
    const tools::Json json =
        tools::Json::parse(start == std::string::npos ? "" : output.substr(start), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return "its output is not JSON";
    }
    const auto jobs = json.find("jobs");
    if (jobs == json.end() || !jobs->is_array() || jobs->empty() || !(*jobs)[0].is_object()) {
        return "its output names no job";
    }
    const tools::Json& job = (*jobs)[0];
    const auto read = job.find("read");
    const auto runtime = read == job.end() || !read->is_object() ? read : read->find("runtime");
    if (read == job.end() || !read->is_object() || runtime == read->end() ||
        !runtime->is_number() || runtime->get<double>() <= 0) {
        return "its output has no read runtime";
    }
    *milliseconds = runtime->get<double>();
    return "";
}

// fio's runtime for a job file in *milliseconds. Returns 0, 1 after saying why fio did not run
// as expected, or the bench's exit status where fio was interrupted or would not end.
int FioRuntime(const Options& options, const std::string& jobs, const std::string& dir,
               double* milliseconds) {
    const std::string jobPath = options.scratch + "/bench.fio";
    const std::string unwritten = tools::WriteFileWhole(jobPath, jobs);
    if (!unwritten.empty()) {
        tools::Complain("readrace_bench", jobPath, "cannot write fio's job file: " + unwritten);
        return 1;
    }
    std::string json;
    int exitStatus = 0;
    long long peakKiB = 0;
    const int status =
        RunIn(options, {"fio", "--output-format=json", jobPath}, dir, &json, &peakKiB, &exitStatus);
    unlink(jobPath.c_str());
    if (status != 0) {
        return status;
    }
    const std::string problem = exitStatus != 0 ? "exit status " + std::to_string(exitStatus)
                                                : ParseFioRuntime(json, milliseconds);
    if (!problem.empty()) {
        tools::Complain("readrace_bench", "fio", problem + "; the verdicts cannot be compared");
        return 1;
    }
    return 0;
}

std::string FioJobs(bool direct, bool parallel, bool invalidate, unsigned long long fileSize) {
    std::ostringstream jobs;
    jobs << "[global]\nioengine=psync\nrw=read\nbs=" << fileSize << "\nsize=" << fileSize
         << "\nfile_service_type=sequential\ngroup_reporting=1\ninvalidate=" << (invalidate ? 1 : 0)
         << "\n"
         << (direct ? "direct=1\n" : "direct=0\nfadvise_hint=sequential\n");
    auto list = [](int from, int to) {
        std::string names;
        for (int i = from; i <= to; ++i) {
            if (i > from) {
                names += ':';
            }
            names += tools::FileName(i);
        }
        return names;
    };
    // As readrace's two workers split the files, and its serial phase reads them all.
    const int half = tools::FileCount / 2;
    if (parallel) {
        jobs << "[first]\nfilename=" << list(0, half - 1) << "\nnrfiles=" << half
             << "\nsize=" << half * fileSize
             << "\n[second]\nfilename=" << list(half, tools::FileCount - 1) << "\nnrfiles=" << half
             << "\nsize=" << half * fileSize << "\n";
    } else {
        jobs << "[serial]\nfilename=" << list(0, tools::FileCount - 1)
             << "\nnrfiles=" << tools::FileCount << "\nsize=" << tools::FileCount * fileSize
             << "\n";
    }
    return jobs.str();
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
        if (const int status =
                FioRuntime(options, FioJobs(direct, true, true, fileSize), dir, &parallel)) {
            return status;
        }
        if (const int status =
                FioRuntime(options, FioJobs(direct, false, false, fileSize), dir, &serial)) {
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

// The whole comparison, in options.scratch. Returns 0, or the exit status of what stopped it.
int RunBench(const Options& options) {
    const std::string empty = options.scratch + "/empty";
    const std::string cached = options.scratch + "/cached";
    const std::string direct = options.scratch + "/direct";
    const char* cachedSize = options.quick ? "4MiB" : "64MiB";
    const char* directSize = options.quick ? "2MiB" : "32MiB";
    if (const int status = MakeEmptyFiles(empty)) {
        return status;
    }
    if (const int status = Prepare(cached, cachedSize)) {
        return status;
    }
    if (const int status = Prepare(direct, directSize)) {
        return status;
    }

    printf("readrace_bench: %d runs of each, alternating with the reference; median ticks per "
           "file\nof the serial phase over all runs\n\n",
           options.runs);
    printf("%-44s %14s %14s %8s\n", "", "readrace", "reference", "ratio");
    Comparison overhead;
    if (const int status = Compare(options, READRACE_SEQ, empty, false, false, false, &overhead)) {
        return status;
    }
    PrintRatio("1. empty files: per-file overhead", overhead, 1.10, false);

    // Read once, so that every run below reads the cache.
    Run warming;
    if (const int status = RunDeliverable(options, READRACE_SEQ, cached, &warming)) {
        return status;
    }
    Comparison cachedRead;
    if (const int status =
            Compare(options, READRACE_SEQ, cached, false, false, true, &cachedRead)) {
        return status;
    }
    const std::string cachedTitle = std::string("2. cached ") + cachedSize + " files, readrace_seq";
    PrintRatio(cachedTitle.c_str(), cachedRead, 1.30, true);
    printf("   the ordinary allocator's fresh buffer instead: %.2fx\n",
           cachedRead.fresh / cachedRead.reference);

    Comparison directRead;
    if (const int status =
            Compare(options, READRACE_NOBUF, direct, true, true, false, &directRead)) {
        return status;
    }
    const std::string directTitle =
        std::string("3. direct ") + directSize + " files, readrace_nobuf, evicted";
    PrintRatio(directTitle.c_str(), directRead, 1.15, true);

    printf("\n4. verdict against fio (two jobs of five files against one job of ten)\n");
    if (system("command -v fio >/dev/null 2>&1") != 0) {
        printf("   fio is not installed (apt-get install fio): not compared\n");
    } else {
        if (const int status = CompareVerdictWithFio(options, direct, false)) {
            return status;
        }
        if (const int status = CompareVerdictWithFio(options, direct, true)) {
            return status;
        }
        // fio's buffers have ordinary pages, readrace's huge ones; a direct read pins every page
        // of its buffer, so fio's serial job pays more per byte than readrace's serial phase.
        const std::string setting = tools::TransparentHugePages();
        if (!options.fioHugePages) {
            printf("   fio's buffers use ordinary pages; --fio-huge-pages compares with fio's "
                   "buffers on huge pages too\n");
        } else if (setting.empty() || !SetHugePageSetting("always")) {
            printf("   --fio-huge-pages: cannot set %s (it needs root)\n", HugePageSetting);
        } else {
            printf("   with transparent huge pages set to \"always\" for fio (then back to "
                   "\"%s\"):\n",
                   setting.c_str());
            // The machine's setting goes back whatever happens in between, a failure or an
            // interrupt too: the bench must leave the machine as it found it.
            int status = CompareVerdictWithFio(options, direct, false);
            if (status == 0) {
                status = CompareVerdictWithFio(options, direct, true);
            }
            if (!SetHugePageSetting(setting)) {
                tools::Complain("readrace_bench", HugePageSetting,
                                "cannot set it back to \"" + setting + "\"");
                status = status != 0 ? status : 1;
            }
            if (status != 0) {
                return status;
            }
        }
    }

    const unsigned long long largest[2] = {FileSize(cached + "/" + tools::FileName(0)),
                                           FileSize(direct + "/" + tools::FileName(0))};
    printf("\npeak memory (getrusage): readrace_seq %.1f MiB over %s files, readrace_nobuf %.1f "
           "MiB over %s files\n",
           cachedRead.maxRssKiB / 1024.0, cachedSize, directRead.maxRssKiB / 1024.0, directSize);
    printf("bound, two largest files + 16 MiB: %.1f MiB and %.1f MiB%s\n",
           (2.0 * (double)largest[0] + (16 << 20)) / (1 << 20),
           (2.0 * (double)largest[1] + (16 << 20)) / (1 << 20),
           cachedRead.maxRssKiB * 1024.0 <= 2.0 * (double)largest[0] + (16 << 20) &&
                   directRead.maxRssKiB * 1024.0 <= 2.0 * (double)largest[1] + (16 << 20)
               ? ""
               : "  OVER");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
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
    int status = RunBench(options);
    // The runs hold interrupts back until they can clean up; one that came after the last is
    // still waiting.
    if (const int signal = status == 0 ? tools::PendingInterrupt() : 0) {
        tools::Complain("readrace_bench", "", "interrupted");
        status = 128 + signal;
    }
    std::filesystem::remove_all(options.scratch, error);
    return status;
}
