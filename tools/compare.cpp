// readrace_compare: runs the deliverables again and again from an evicted cache, and turns their
// ticks into milliseconds, MB/s and a count of verdicts.
#include "run_output.h"
#include "run_stats.h"
#include "tick_clock.h"
#include "tool_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* Program = "readrace_compare";

#ifdef _WIN32
constexpr const char* ProgramSuffix = ".exe";
#else
constexpr const char* ProgramSuffix = "";
#endif

struct Options {
    int runs = 5;
    std::vector<std::string> deliverables = {"readrace_seq", "readrace_nobuf"};
    bool json = false;
    bool evict = true;
    std::string bin;
    std::string svg;
    std::string dir;
};

struct Deliverable {
    std::string name;
    std::string path;
    std::vector<tools::RunOutput> runs;
    tools::Summary summary;
};

void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: %s [--runs N] [--deliverable seq|nobuf|both] [--json] [--no-evict]\n"
            "       [--bin DIR] [--svg FILE] DIR\n"
            "  Runs the deliverables N times each (default 5) in DIR, alternating them, with\n"
            "  the ten files evicted from the page cache before each run.\n",
            Program);
}

int Usage(const std::string& message) {
    fprintf(stderr, "%s: %s\n", Program, message.c_str());
    PrintUsage(stderr);
    return 2;
}

bool ParseOptions(int argc, char** argv, Options* options, int* status) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--runs" && hasValue) {
            char* end = nullptr;
            const long runs = strtol(argv[++i], &end, 10);
            if (*end != '\0' || runs < 1 || runs > 100000) {
                *status =
                    Usage(std::string("--runs takes a whole number from 1: '") + argv[i] + "'");
                return false;
            }
            options->runs = (int)runs;
        } else if (argument == "--deliverable" && hasValue) {
            const std::string which = argv[++i];
            if (which == "seq" || which == "nobuf") {
                options->deliverables = {"readrace_" + which};
            } else if (which == "both") {
                options->deliverables = {"readrace_seq", "readrace_nobuf"};
            } else {
                *status = Usage("--deliverable takes seq, nobuf or both: '" + which + "'");
                return false;
            }
        } else if (argument == "--json") {
            options->json = true;
        } else if (argument == "--no-evict") {
            options->evict = false;
        } else if (argument == "--bin" && hasValue) {
            options->bin = argv[++i];
        } else if (argument == "--svg" && hasValue) {
            options->svg = argv[++i];
        } else if (argument == "--help" || argument == "-h") {
            PrintUsage(stdout);
            *status = 0;
            return false;
        } else if (!argument.empty() && argument[0] != '-' && options->dir.empty()) {
            options->dir = argument;
        } else {
            *status = Usage("unexpected argument '" + argument + "'");
            return false;
        }
    }
    if (options->dir.empty()) {
        *status = Usage("name the directory that holds 0.tmp to 9.tmp");
        return false;
    }
    return true;
}

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
        const fs::path candidate = place / (name + ProgramSuffix);
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

std::string FileName(int file) {
    return std::to_string(file) + ".tmp";
}

void WriteJsonString(std::ostream& out, const std::string& text) {
    out << '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if ((unsigned char)c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out << escaped;
        } else {
            out << c;
        }
    }
    out << '"';
}

void WriteSpread(std::ostream& out, const tools::Spread& spread) {
    out << "{\"median\": " << spread.median << ", \"min\": " << spread.min
        << ", \"max\": " << spread.max << "}";
}

void WriteFileTicks(std::ostream& out, const std::vector<tools::FileTicks>& times) {
    out << "[";
    for (size_t i = 0; i < times.size(); ++i) {
        out << (i ? ", " : "") << "{\"file\": \"" << FileName(times[i].file)
            << "\", \"ticks\": " << times[i].ticks << "}";
    }
    out << "]";
}

void WriteJson(std::ostream& out, const Options& options, const tools::TickCalibration& clock,
               unsigned long long totalBytes, const std::vector<Deliverable>& deliverables) {
    out.precision(10);
    out << "{\n  \"directory\": ";
    WriteJsonString(out, options.dir);
    out << ",\n  \"evicted\": " << (options.evict ? "true" : "false")
        << ",\n  \"bytes_per_phase\": " << totalBytes
        << ",\n  \"calibration\": {\"ticks_per_second\": " << clock.ticksPerSecond
        << ", \"milliseconds\": " << clock.overMilliseconds
        << ", \"invariant\": " << (clock.invariant ? "true" : "false")
        << "},\n  \"deliverables\": [";
    for (size_t d = 0; d < deliverables.size(); ++d) {
        const Deliverable& deliverable = deliverables[d];
        const tools::Summary& s = deliverable.summary;
        out << (d ? "," : "") << "\n    {\"name\": ";
        WriteJsonString(out, deliverable.name);
        out << ",\n     \"runs\": [";
        for (size_t r = 0; r < deliverable.runs.size(); ++r) {
            const tools::RunOutput& run = deliverable.runs[r];
            out << (r ? "," : "") << "\n       {\"parallel\": ";
            WriteFileTicks(out, run.parallel);
            out << ", \"parallel_total\": " << run.parallelTotal << ", \"serial\": ";
            WriteFileTicks(out, run.serial);
            out << ", \"serial_total\": " << run.serialTotal << ", \"verdict\": \""
                << (run.parallelWorse ? "Parallel was worse" : "Serial was worse")
                << "\", \"percentage\": ";
            if (run.hasPercentage) {
                out << run.percentage;
            } else {
                out << "null";
            }
            out << "}";
        }
        out << "],\n     \"summary\": {\"runs\": " << s.runs << ", \"parallel_ms\": ";
        WriteSpread(out, s.parallelMs);
        out << ", \"serial_ms\": ";
        WriteSpread(out, s.serialMs);
        out << ", \"parallel_mb_per_s\": ";
        WriteSpread(out, s.parallelMBps);
        out << ", \"serial_mb_per_s\": ";
        WriteSpread(out, s.serialMBps);
        out << ",\n       \"file_median_ms\": {";
        for (int i = 0; i < 10; ++i) {
            out << (i ? ", " : "") << "\"" << FileName(i)
                << "\": {\"parallel\": " << s.fileParallelMs[i]
                << ", \"serial\": " << s.fileSerialMs[i] << "}";
        }
        out << "},\n       \"parallel_worse\": " << s.parallelWorse
            << ", \"serial_worse\": " << s.serialWorse << ", \"median_percentage\": ";
        if (s.withPercentage > 0) {
            out << s.medianPercentage;
        } else {
            out << "null";
        }
        out << "}}";
    }
    out << "\n  ]\n}\n";
}

std::string Percentage(double value) {
    char text[32];
    snprintf(text, sizeof text, value == std::floor(value) ? "%.0f%%" : "%.1f%%", value);
    return text;
}

void WriteText(FILE* out, const Options& options, const tools::TickCalibration& clock,
               unsigned long long totalBytes, const std::vector<Deliverable>& deliverables) {
    fprintf(out, "%d run%s of each in %s; %s\n", options.runs, options.runs == 1 ? "" : "s",
            options.dir.c_str(),
            options.evict ? "the ten files evicted from the page cache before each run"
                          : "the page cache left as it was (--no-evict)");
    fprintf(out, "Time-stamp counter: %.3f GHz%s, calibrated over %.0f ms; %.1f MB per phase\n",
            clock.ticksPerSecond / 1e9, clock.invariant ? " (invariant)" : " (NOT invariant)",
            clock.overMilliseconds, (double)totalBytes / 1e6);
    for (const Deliverable& deliverable : deliverables) {
        const tools::Summary& s = deliverable.summary;
        fprintf(out, "\n%s\n", deliverable.name.c_str());
        fprintf(out, "  %-10s %12s %12s %12s %14s %12s %12s\n", "", "median ms", "min ms", "max ms",
                "median MB/s", "min MB/s", "max MB/s");
        const struct {
            const char* name;
            const tools::Spread &ms, &rate;
        } phases[] = {{"parallel", s.parallelMs, s.parallelMBps},
                      {"serial", s.serialMs, s.serialMBps}};
        for (const auto& phase : phases) {
            fprintf(out, "  %-10s %12.2f %12.2f %12.2f %14.1f %12.1f %12.1f\n", phase.name,
                    phase.ms.median, phase.ms.min, phase.ms.max, phase.rate.median, phase.rate.min,
                    phase.rate.max);
        }
        fprintf(out, "  per-file median ms:\n  %-10s", "");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8s", FileName(i).c_str());
        }
        fprintf(out, "\n  %-10s", "parallel");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8.2f", s.fileParallelMs[i]);
        }
        fprintf(out, "\n  %-10s", "serial");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8.2f", s.fileSerialMs[i]);
        }
        fprintf(out, "\n  Serial was worse in %d of %d runs; Parallel was worse in %d of %d runs\n",
                s.serialWorse, s.runs, s.parallelWorse, s.runs);
        if (s.withPercentage > 0) {
            fprintf(out, "  median percentage: %s\n", Percentage(s.medianPercentage).c_str());
        }
    }
}

// Per-file times of both phases across runs: a dot per run and file, one chart per deliverable.
bool WriteSvg(const std::string& path, double ticksPerSecond,
              const std::vector<Deliverable>& deliverables) {
    const int chartWidth = 640, chartHeight = 240, left = 60, top = 40, gap = 70;
    double largest = 0;
    for (const Deliverable& deliverable : deliverables) {
        for (const tools::RunOutput& run : deliverable.runs) {
            for (const auto* phase : {&run.parallel, &run.serial}) {
                for (const tools::FileTicks& time : *phase) {
                    largest = std::max(largest, (double)time.ticks * 1000 / ticksPerSecond);
                }
            }
        }
    }
    if (largest <= 0) {
        largest = 1;
    }
    std::ofstream out(path);
    const int height = top + (int)deliverables.size() * (chartHeight + gap);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << left + chartWidth + 140
        << "\" height=\"" << height << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    for (size_t d = 0; d < deliverables.size(); ++d) {
        const Deliverable& deliverable = deliverables[d];
        const int y0 = top + (int)d * (chartHeight + gap);
        out << "<text x=\"" << left << "\" y=\"" << y0 - 12 << "\" font-size=\"14\">"
            << deliverable.name << ": per-file ms over " << deliverable.runs.size()
            << " runs</text>\n";
        out << "<line x1=\"" << left << "\" y1=\"" << y0 + chartHeight << "\" x2=\""
            << left + chartWidth << "\" y2=\"" << y0 + chartHeight << "\" stroke=\"black\"/>\n";
        out << "<line x1=\"" << left << "\" y1=\"" << y0 << "\" x2=\"" << left << "\" y2=\""
            << y0 + chartHeight << "\" stroke=\"black\"/>\n";
        for (int tick = 0; tick <= 4; ++tick) {
            const double value = largest * tick / 4;
            const int y = y0 + chartHeight - (int)(chartHeight * tick / 4);
            out << "<text x=\"" << left - 6 << "\" y=\"" << y + 4 << "\" text-anchor=\"end\">";
            out.precision(3);
            out << value << "</text>\n";
        }
        for (int file = 0; file < 10; ++file) {
            const int x = left + chartWidth * (2 * file + 1) / 20;
            out << "<text x=\"" << x << "\" y=\"" << y0 + chartHeight + 16
                << "\" text-anchor=\"middle\">" << FileName(file) << "</text>\n";
        }
        for (const tools::RunOutput& run : deliverable.runs) {
            const struct {
                const std::vector<tools::FileTicks>* times;
                int shift;
                const char* colour;
            } phases[] = {{&run.parallel, -8, "#d95f02"}, {&run.serial, 8, "#1b9e77"}};
            for (const auto& phase : phases) {
                for (const tools::FileTicks& time : *phase.times) {
                    const double ms = (double)time.ticks * 1000 / ticksPerSecond;
                    const int x = left + chartWidth * (2 * time.file + 1) / 20 + phase.shift;
                    const int y =
                        y0 + chartHeight - (int)(chartHeight * std::max(0.0, ms) / largest);
                    out << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"3\" fill=\""
                        << phase.colour << "\" fill-opacity=\"0.7\"/>\n";
                }
            }
        }
        out << "<circle cx=\"" << left + chartWidth + 20 << "\" cy=\"" << y0 + 10
            << "\" r=\"4\" fill=\"#d95f02\"/><text x=\"" << left + chartWidth + 30 << "\" y=\""
            << y0 + 14 << "\">parallel</text>\n";
        out << "<circle cx=\"" << left + chartWidth + 20 << "\" cy=\"" << y0 + 30
            << "\" r=\"4\" fill=\"#1b9e77\"/><text x=\"" << left + chartWidth + 30 << "\" y=\""
            << y0 + 34 << "\">serial</text>\n";
    }
    out << "</svg>\n";
    return (bool)out;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    int status = 0;
    if (!ParseOptions(argc, argv, &options, &status)) {
        return status;
    }
    std::error_code error;
    if (!fs::is_directory(options.dir, error)) {
        fprintf(stderr, "%s: %s: not a directory\n", Program, options.dir.c_str());
        return 2;
    }
    unsigned long long totalBytes = 0;
    for (int i = 0; i < 10; ++i) {
        const fs::path file = fs::path(options.dir) / FileName(i);
        const auto size = fs::file_size(file, error);
        if (error) {
            fprintf(stderr, "%s: %s: %s (readrace_prepare makes the ten files)\n", Program,
                    file.string().c_str(), error.message().c_str());
            return 2;
        }
        totalBytes += size;
    }
    std::vector<Deliverable> deliverables;
    for (const std::string& name : options.deliverables) {
        const std::string path = FindDeliverable(options, name);
        if (path.empty()) {
            fprintf(stderr,
                    "%s: cannot find %s%s beside this program or in the build tree; "
                    "name its directory with --bin\n",
                    Program, name.c_str(), ProgramSuffix);
            return 2;
        }
        deliverables.push_back({name, path, {}, {}});
    }
#ifdef _WIN32
    if (options.evict) {
        fprintf(stderr,
                "%s: warning: Windows offers no way to evict the files from the cache, so "
                "the runs start from whatever it holds\n",
                Program);
        options.evict = false;
    }
#endif
    const tools::TickCalibration clock = tools::CalibrateTicks(300);
    if (!clock.invariant) {
        fprintf(stderr,
                "%s: warning: this processor's time-stamp counter is not invariant, so "
                "its ticks are not time and the milliseconds below are estimates\n",
                Program);
    }

    const fs::path scratch = fs::temp_directory_path(error) /
                             ("readrace_compare-" + std::to_string(std::random_device{}()));
    fs::create_directories(scratch, error);
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    const bool progress = tools::IsTerminal(2);
    int failure = 0;
    for (int run = 0; run < options.runs && failure == 0; ++run) {
        for (Deliverable& deliverable : deliverables) {
            if (progress) {
                fprintf(stderr, "\rrun %d of %d: %-16s", run + 1, options.runs,
                        deliverable.name.c_str());
                fflush(stderr);
            }
            for (int i = 0; i < 10 && options.evict; ++i) {
                tools::EvictFile((fs::path(options.dir) / FileName(i)).string());
            }
            const int exitStatus =
                tools::RunInDirectory(deliverable.path, options.dir, outPath, errPath);
            tools::RunOutput output;
            const std::string problem =
                exitStatus == 0 ? tools::ParseRunOutput(ReadWhole(outPath), &output) : "";
            if (exitStatus != 0 || !problem.empty()) {
                if (progress) {
                    fprintf(stderr, "\n");
                }
                fprintf(stderr, "%s: %s, run %d: %s; its standard error:\n%s", Program,
                        deliverable.name.c_str(), run + 1,
                        exitStatus != 0 ? ("exit status " + std::to_string(exitStatus)).c_str()
                                        : problem.c_str(),
                        ReadWhole(errPath).c_str());
                failure = 1;
                break;
            }
            deliverable.runs.push_back(output);
        }
    }
    fs::remove_all(scratch, error);
    if (progress && failure == 0) {
        fprintf(stderr, "\r%40s\r", "");
    }
    if (failure != 0) {
        return 1;
    }
    for (Deliverable& deliverable : deliverables) {
        deliverable.summary = tools::Summarize(deliverable.runs, clock.ticksPerSecond, totalBytes);
    }
    if (options.json) {
        std::ostringstream json;
        WriteJson(json, options, clock, totalBytes, deliverables);
        fputs(json.str().c_str(), stdout);
    } else {
        WriteText(stdout, options, clock, totalBytes, deliverables);
    }
    if (!options.svg.empty() && !WriteSvg(options.svg, clock.ticksPerSecond, deliverables)) {
        fprintf(stderr, "%s: %s: cannot write the chart\n", Program, options.svg.c_str());
        return 1;
    }
    return fflush(stdout) == 0 ? 0 : 1;
}
