#include "compare/options.h"

#include "common/command_line.h"
#include "common/number_text.h"
#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "prepare/prepare_files.h"
#include "report/tables.h"

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <sstream>
#include <ctime>
#include <charconv>
#include <optional>

namespace compare {

namespace {

// The sizes of --sizes, in rising order, each once: false, with the reason, where one is not a
// size a file can have.
bool ParseSizes(const std::string& text, std::vector<unsigned long long>* sizes,
                std::string* problem) {
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const auto size = tools::ParseSize(item);
        if (!size || !tools::IsFileSize(*size)) {
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

// --runs N: a whole number of runs from 1 to 100000, or nothing.
std::optional<int> RunCount(const std::string& text) {
    int runs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), runs);
    if (error != std::errc() || end != text.data() + text.size() || runs < 1 || runs > 100000) {
        return std::nullopt;
    }
    return runs;
}

// --margin: "3%" or "3" as 0.03, above 0 and up to 1; or nothing.
std::optional<double> MarginFraction(std::string text) {
    if (!text.empty() && text.back() == '%') {
        text.pop_back();
    }
    char* end = nullptr;
    const double margin = text.empty() ? 0 : strtod(text.c_str(), &end) / 100;
    if (text.empty() || *end != '\0' || !(margin > 0 && margin <= 1)) {
        return std::nullopt;
    }
    return margin;
}

// What --help says first, with the interval's level.
std::string Introduction(double level) {
    return "Runs readrace_seq and readrace_nobuf again and again in DIR, alternating them, with "
           "the ten files evicted from the cache before each run, and says how much faster two "
           "readers at once were than one, with a " +
           tools::ConfidenceText(level) + "% confidence interval.";
}

// When to stop: the run count or the stopping rule, its margin and level.
void AddStoppingOptions(CLI::App& app, Options* options) {
    app.add_option("--runs", options->runs,
                   "runs of each program: N, from 1 to 100000, or auto (from the 5th run on, "
                   "until each has its verdict: faster one way, or the same within --margin)")
        ->type_name("N|auto")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text == "auto" || RunCount(text)
                           ? ""
                           : "takes auto or a whole number from 1 to 100000, not '" + text + "'";
            },
            ""))
        ->capture_default_str();
    app.add_option("--max-runs", options->maxRuns,
                   "with --runs auto, at most N runs of each, N up to " +
                       std::to_string(tools::LargestCap) +
                       " (the intervals are widened for every look up to it)")
        ->type_name("N")
        ->check(CLI::Range(1, tools::LargestCap).description(""))
        ->capture_default_str();
    app.add_option("--margin", options->margin,
                   "the smallest difference that matters, as a percentage: within it the two "
                   "ways count as the same")
        ->type_name("PERCENT")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return MarginFraction(text) ? ""
                                            : "takes a percentage above 0 and up to 100 (such "
                                              "as 3%), not '" +
                                                  text + "'";
            },
            ""))
        ->capture_default_str();
    // Taken through a function of its own so that --help, which CLI11 prints once the values
    // are in, names the level given rather than the default.
    app.add_option_function<double>(
           "--level",
           [&app, options](const double& level) {
               options->level = level;
               app.description(Introduction(level));
           },
           "the chance, per program, of a wrong verdict where nothing differs, from 0.0001 to 0.5 "
           "(with both programs, up to twice this per session: 0.025 keeps that at 5%)")
        ->type_name("P")
        ->check(CLI::Range(0.0001, 0.5).description(""))
        // CLI::Range lets nan through, which no interval could ever be worked out at.
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return std::isnan(std::strtod(text.c_str(), nullptr))
                           ? "takes a number from 0.0001 to 0.5, not '" + text + "'"
                           : "";
            },
            ""))
        ->default_str(tools::Format("%g", tools::DefaultLevel));
}

// The time limits: of the whole comparison, and of each run.
void AddTimeLimits(CLI::App& app, Options* options) {
    // CLI::PositiveNumber lets nan and inf through; neither would ever stop a run.
    const CLI::Validator finitePositive(
        [](std::string& text) -> std::string {
            // The whole text must be the number, as CLI11 reads numbers.
            char* end = nullptr;
            const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
            if (end == nullptr || *end != '\0' || !std::isfinite(value) || value <= 0) {
                return "takes a finite number of seconds above 0, not '" + text + "'";
            }
            return "";
        },
        "");
    app.add_option("--max-seconds", options->maxSeconds,
                   "with --runs auto, start no run after this long")
        ->type_name("SECONDS")
        ->check(finitePositive)
        ->capture_default_str();
    app.add_option("--run-timeout", options->runTimeout,
                   "stop a program's run, and all it started, after this many seconds, and "
                   "count it as failed")
        ->type_name("SECONDS")
        ->check(finitePositive)
        ->capture_default_str();
}

// What to run, and where the report goes.
void AddRunOptions(CLI::App& app, Options* options) {
    app.add_option("--deliverable", options->deliverable, "which program to run")
        ->type_name("seq|nobuf|both")
        ->check(CLI::IsMember({"seq", "nobuf", "both"}).description(""))
        ->capture_default_str();
    app.add_flag("--json", options->json, "print the report as JSON, with every run's values");
    app.add_flag("!--no-evict", options->evict, "leave the page cache as it is before each run");
    app.add_option("--bin", options->bin, "the directory that holds the two programs")
        ->type_name("DIR");
    app.add_option("--svg", options->svg,
                   "draw each run's speed-up and the per-file times (with --sizes: the speed-up "
                   "against size)")
        ->type_name("FILE");
    app.add_option("--markdown", options->markdown, "write the summary tables as Markdown")
        ->type_name("FILE");
    app.add_option("--html", options->html,
                   "write one self-contained HTML page: verdicts, charts, runs and machine")
        ->type_name("FILE");
    app.add_option("--csv", options->csv,
                   "write every run as one row of CSV (RFC 4180); with --merge, every report's "
                   "runs")
        ->type_name("FILE");
}

// A sweep of sizes, the reading of reports instead of runs, and what names them.
void AddSweepAndReportOptions(CLI::App& app, Options* options, std::string* groupBy) {
    app.add_option("--sizes", options->sizes,
                   "a sweep: for each SIZE of a comma-separated list, write the files into a "
                   "folder of DIR, compare, and remove them")
        ->type_name("SIZE,...");
    app.add_flag("--keep", options->keep, "with --sizes, leave the files in place");
    app.add_flag("--merge", options->merge,
                 "read the JSON reports named instead of DIR and print one table across them");
    app.add_option("--group-by", *groupBy,
                   "with --merge, one row per group of reports: the count of hosts and reports, "
                   "the share of each verdict and the median and range of the speed-ups")
        ->type_name("host,fs,device,size,program");
    app.add_flag("--check", options->check,
                 "verify each JSON report named instead of DIR against its own runs, one line "
                 "per report");
    app.add_option("--label", options->label,
                   "the name this host goes by in the report and the merged table (default: its "
                   "hostname)")
        ->type_name("NAME");
    app.add_option("DIR", options->paths,
                   "the directory with 0.tmp to 9.tmp (with --merge or --check: the "
                   "reports)")
        ->required();
    // Reading reports runs nothing, so what only a run takes would be ignored: refused instead.
    for (const char* reading : {"--merge", "--check"}) {
        for (const char* running : {"--sizes", "--keep", "--runs", "--label"}) {
            app.get_option(reading)->excludes(app.get_option(running));
        }
    }
    app.get_option("--merge")->excludes(app.get_option("--check"));
    app.get_option("--group-by")->needs(app.get_option("--merge"));
}

// The examples and the forms of a size, under the options.
void AddFooter(CLI::App& app) {
    app.footer(tools::SizesHelp() +
               "Examples:\n"
               "  readrace_compare /data/bench\n"
               "      compare both programs on the ten files there, as many runs as it takes\n"
               "  readrace_compare --runs 20 --json /data/bench > host1.json\n"
               "      twenty runs of each, every value kept as JSON\n"
               "  readrace_compare --sizes 1M,16M,256M --svg sweep.svg /data/scratch\n"
               "      sweep three file sizes and draw the speed-up against size\n"
               "  readrace_compare --merge --group-by device,size reports/*.json\n"
               "      one row per kind of disk and file size across a fleet's reports");
}

// The stopping rule the options ask for, and a warning where it can reach no verdict.
void ChoosePlan(Options* options) {
    // Both were checked by their validators; these cannot fail now.
    options->fixedRuns = options->runs == "auto" ? 0 : *RunCount(options->runs);
    const double margin = *MarginFraction(options->margin);
    options->plan =
        options->fixedRuns > 0
            ? tools::FixedPlan(options->level, margin)
            : tools::SequentialPlan(tools::FirstLook, options->maxRuns, options->level, margin);
    // Said before the runs rather than after them: no interval from so few runs can exclude 1.
    const int least = tools::RunsForAnInterval(tools::EstimateSpeedup({}, options->plan));
    const int most = options->fixedRuns > 0 ? options->fixedRuns : options->maxRuns;
    if (most < least) {
        tools::Complain(Program, "",
                        tools::Format("warning: with %s %d no %s%% interval can exclude anything, "
                                      "so there will be no verdict; it takes %d runs at least",
                                      options->fixedRuns > 0 ? "--runs" : "--max-runs", most,
                                      tools::ConfidenceText(options->level).c_str(), least));
    }
}

} // namespace

int ParseOptions(int argc, char** argv, Options* options) {
    std::string groupBy;
    CLI::App app(Introduction(options->level), Program);
    tools::AddVersion(app);
    AddStoppingOptions(app, options);
    AddTimeLimits(app, options);
    AddRunOptions(app, options);
    AddSweepAndReportOptions(app, options, &groupBy);
    AddFooter(app);
    // What the reports record of how they were made: when, and the command line.
    options->origin = {tools::QuoteCommandLine(argc, argv), tools::IsoTimeUtc(std::time(nullptr))};
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    options->sweep = app.count("--sizes") > 0;
    // Checked now, before the clock's calibration and any run.
    std::string unsized;
    if (options->sweep && !ParseSizes(options->sizes, &options->sweepSizes, &unsized)) {
        return tools::Refuse(Program, unsized);
    }
    // An unwritable output is named now, not after the whole comparison.
    for (const std::string* output :
         {&options->svg, &options->markdown, &options->html, &options->csv}) {
        const std::string problem = output->empty() ? "" : tools::CheckWritable(*output);
        if (!problem.empty()) {
            return tools::Refuse(Program, tools::TerminalText(*output) + ": " + problem);
        }
    }
    if (app.count("--group-by") > 0) {
        const std::string problem = tools::ParseGroupKeys(groupBy, &options->groupBy);
        if (!problem.empty()) {
            return tools::Refuse(Program, problem);
        }
    }
    if (options->merge || options->check) {
        return -1;
    }
    if (options->paths.size() != 1) {
        return tools::Refuse(Program,
                             "name one directory (or give --merge or --check with reports)");
    }
    ChoosePlan(options);
    return -1;
}

} // namespace compare
