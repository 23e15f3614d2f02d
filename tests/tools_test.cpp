// The companion tools: size texts, the parser of a run's lines, the statistics, and whole runs
// of readrace_prepare and readrace_compare.
#include "harness.h"
#include "runs/run_output.h"
#include "runs/run_stats.h"
#include "common/size_text.h"
#include "runs/speedup_stats.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(ParseSize, ReadsWholeNumbersWithUnitsAsCoreutilsWritesThem) {
    struct {
        const char* text;
        std::optional<unsigned long long> bytes;
    } const cases[] = {
        {"0", 0ull},
        {"4096", 4096ull},
        {"4096B", 4096ull},
        {"512KiB", 512ull << 10},
        {"64MiB", 64ull << 20},
        {"3GiB", 3ull << 30},
        {"32K", 32ull << 10},
        {"32M", 32ull << 20},
        {"3G", 3ull << 30},
        {"2T", 2ull << 40},
        {"2TiB", 2ull << 40},
        {"32KB", 32000ull},
        {"32MB", 32000000ull},
        {"3GB", 3000000000ull},
        {"2TB", 2000000000000ull},
        {"16777215T", 16777215ull << 40},
        {"18446744073709551TB", std::nullopt},
        {"16777216T", std::nullopt},
        {"32m", std::nullopt},
        {"32Kb", std::nullopt},
        {"18446744073709551615", ~0ull},
        {"", std::nullopt},
        {"MiB", std::nullopt},
        {"-1", std::nullopt},
        {"1.5GiB", std::nullopt},
        {"64 MiB", std::nullopt},
        {"64mib", std::nullopt},
        {"18446744073709551616", std::nullopt},
        {"17179869184GiB", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools::ParseSize(c.text), c.bytes) << "'" << c.text << "'";
    }
}

TEST(CommandLine, HelpNamesValuesInWordsAndEndsWithExamples) {
    for (const char* tool : {READRACE_PREPARE, READRACE_COMPARE, READRACE_BENCH}) {
        const harness::Captured help = harness::RunProgram({tool, "--help"}, ".");
        EXPECT_EQ(help.status, 0) << tool;
        EXPECT_NE(help.out.find("\nExamples:\n"), std::string::npos) << tool;
        // CLI11's own type names, checks and flag values.
        for (const char* raw : {"TEXT", "INT", "FLOAT", "{", " in [", "REQUIRED"}) {
            EXPECT_EQ(help.out.find(raw), std::string::npos) << tool << ": " << raw << "\n"
                                                             << help.out;
        }
    }
}

std::string CompleteRun(const std::string& lineEnd = "\n") {
    std::string text;
    for (const char* name : {"0", "5", "1", "6", "7", "2", "3", "8", "9", "4"}) {
        text += std::string("* ") + name + ".tmp 100" + lineEnd;
    }
    text += "Parallel total time: 1200" + lineEnd;
    for (int i = 0; i < 10; ++i) {
        text += "* " + std::to_string(i) + ".tmp 90" + lineEnd;
    }
    text += "Serial total time: 1000" + lineEnd;
    text += "Outcome: Parallel was worse. 120% as long as serial." + lineEnd;
    return text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(ParseRunOutput, TakesCompleteRunsAndNamesWhatIsWrongWithOthers) {
    const std::string good = CompleteRun();
    struct {
        const char* title;
        std::string text;
        std::string problem; // the start of what the parser says, "" for success
    } const cases[] = {
        {"complete", good, ""},
        {"CRLF line ends", CompleteRun("\r\n"), ""},
        {"no percentage",
         Replace(good, "120% as long as serial.", "No percentage: serial total is 0."), ""},
        {"short", good.substr(0, good.rfind("Outcome")), "22 lines"},
        {"extra line", good + "* 0.tmp 5\n", "24 lines"},
        {"empty", "", "0 lines"},
        {"unterminated", good.substr(0, good.size() - 1), "the output ends inside a line"},
        {"malformed per-file line", Replace(good, "* 6.tmp 100", "* 6.tmp 1x0"), "line 4 "},
        {"a file's name cut short", Replace(good, "* 6.tmp 100", "* 6 100"), "line 4 "},
        {"missing total", Replace(good, "Parallel total time: 1200", "* 3.tmp 1"), "line 11 "},
        {"serial out of order", Replace(good, "* 1.tmp 90\n* 2.tmp 90", "* 2.tmp 90\n* 1.tmp 90"),
         "line 13 "},
        {"worker out of order",
         Replace(good, "* 0.tmp 100\n* 5.tmp 100\n* 1.tmp 100",
                 "* 1.tmp 100\n* 5.tmp 100\n* 0.tmp 100"),
         "the parallel phase has 1.tmp"},
        {"file twice", Replace(good, "* 5.tmp 100", "* 0.tmp 100"), "line 2 "},
        {"bad outcome", Replace(good, "120% as long", "120 as long"), "line 23 "},
        {"ticks past 64 bits", Replace(good, "* 0.tmp 100", "* 0.tmp 99999999999999999999"),
         "line 1 "},
        {"diagnostic mixed in",
         Replace(good, "* 7.tmp 100\n", "readrace_seq: 7.tmp: cannot open: x\n"), "line 5 "},
    };
    for (const auto& c : cases) {
        tools::RunOutput run;
        const std::string problem = tools::ParseRunOutput(c.text, &run);
        EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem) << c.title << ": " << problem;
        EXPECT_EQ(problem.empty(), c.problem.empty()) << c.title << ": " << problem;
    }
    tools::RunOutput run;
    ASSERT_EQ(tools::ParseRunOutput(good, &run), "");
    EXPECT_EQ(run.parallelTotal, 1200);
    EXPECT_EQ(run.serialTotal, 1000);
    EXPECT_TRUE(run.parallelWorse);
    EXPECT_EQ(run.percentage, 120);
    EXPECT_EQ(run.parallel[1].file, 5);
    EXPECT_EQ(run.serial[9].file, 9);
}

TEST(Summarize, GivesMediansSpreadsRatesAndVerdictCounts) {
    EXPECT_EQ(tools::SpreadOf({}).median, 0);
    EXPECT_EQ(tools::SpreadOf({3, 1, 2}).median, 2);
    EXPECT_EQ(tools::SpreadOf({4, 1, 3, 2}).median, 2.5);
    EXPECT_EQ(tools::SpreadOf({4, 1, 3, 2}).min, 1);
    EXPECT_EQ(tools::SpreadOf({4, 1, 3, 2}).max, 4);

    // At 1000 ticks a second a tick is a millisecond; 10 MB a phase.
    std::vector<tools::RunOutput> runs;
    const long long parallel[] = {100, 300, 200};
    const long long serial[] = {250, 150, 400};
    for (int r = 0; r < 3; ++r) {
        tools::RunOutput run;
        for (int i = 0; i < 10; ++i) {
            run.parallel.push_back({i, parallel[r] / 10 + i});
            run.serial.push_back({i, serial[r] / 10});
        }
        run.parallelTotal = parallel[r];
        run.serialTotal = serial[r];
        run.parallelWorse = parallel[r] >= serial[r];
        run.hasPercentage = true;
        run.percentage =
            run.parallelWorse ? parallel[r] * 100 / serial[r] : serial[r] * 100 / parallel[r];
        runs.push_back(run);
    }
    const tools::Summary s = tools::Summarize(runs, 1000, 10000000);
    EXPECT_EQ(s.runs, 3);
    EXPECT_EQ(s.parallelMs.median, 200);
    EXPECT_EQ(s.parallelMs.min, 100);
    EXPECT_EQ(s.parallelMs.max, 300);
    EXPECT_EQ(s.serialMs.median, 250);
    EXPECT_EQ(s.parallelMBps.median, 50); // 10 MB in 0.2 s
    EXPECT_EQ(s.parallelMBps.max, 100);
    EXPECT_EQ(s.fileParallelMs[9], 29);
    EXPECT_EQ(s.fileSerialMs[0], 25);
    EXPECT_EQ(s.parallelWorse, 1);
    EXPECT_EQ(s.serialWorse, 2);
    EXPECT_EQ(s.medianPercentage, 200); // 250%, 200%, 200%
}

// Synthetic runs with a known answer: speed-ups around a true value, with 5% noise.
TEST(EstimateSpeedup, IntervalAndConclusionAgreeWithAKnownAnswer) {
    EXPECT_EQ(tools::MedianOf({3, 1, 2}), 2);
    EXPECT_EQ(tools::MedianOf({4, 1, 3, 2}), 2.5);
    EXPECT_EQ(tools::MedianOf({}), 0);
    struct {
        double truth;
        std::string conclusion; // its start
    } const cases[] = {
        {1.0, "no clear difference (95% CI "},
        {1.2, "two readers at once were 1."},
        {1 / 1.2, "one reader was 1."},
    };
    for (const auto& c : cases) {
        std::mt19937_64 random(7);
        std::normal_distribution<double> noise(0, 0.05);
        std::vector<double> speedups;
        for (int run = 0; run < 20; ++run) {
            speedups.push_back(c.truth * (1 + noise(random)));
        }
        const tools::SpeedupEstimate e = tools::EstimateSpeedup(speedups);
        SCOPED_TRACE(c.truth);
        EXPECT_EQ(e.median, tools::MedianOf(speedups));
        EXPECT_LT(e.low, e.median);
        EXPECT_GT(e.high, e.median);
        EXPECT_EQ(e.low <= 1 && e.high >= 1, c.truth == 1.0);
        EXPECT_TRUE(e.low < c.truth && c.truth < e.high) << e.low << "-" << e.high;
        EXPECT_GE(e.resamples, 10000);
        const std::string conclusion = tools::SpeedupConclusion(e);
        EXPECT_EQ(conclusion.substr(0, c.conclusion.size()), c.conclusion) << conclusion;
        // The same runs always give the same interval.
        EXPECT_EQ(tools::EstimateSpeedup(speedups).low, e.low);
        EXPECT_EQ(tools::EstimateSpeedup(speedups).high, e.high);
    }
    EXPECT_NEAR(tools::CoefficientOfVariation({90, 100, 110}), 0.1, 1e-12);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Prepare, WritesTenWholeFilesAndRefusesWhatItShould) {
    harness::ScratchDir dir;
    const harness::Captured made =
        harness::RunProgram({READRACE_PREPARE, "--size", "1MiB", dir.path()}, dir.path());
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "");
    for (int i = 0; i < 10; ++i) {
        const std::string path = dir / (std::to_string(i) + ".tmp");
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
        EXPECT_EQ(status.st_size, 1 << 20);
        EXPECT_GE((long long)status.st_blocks * 512, 1 << 20) << path << " is sparse";
        EXPECT_EQ(harness::CachedPages(path).first, 0u) << path << " was left in the cache";
    }
    EXPECT_NE(harness::Snapshot(dir.path())["0.tmp"], harness::Snapshot(dir.path())["1.tmp"]);
    EXPECT_EQ(harness::Snapshot(dir.path()).size(), 10u) << "something besides the ten files";

    const auto before = harness::Snapshot(dir.path());
    struct {
        const char* title;
        std::vector<std::string> arguments;
        int status;
        std::string message; // a part of standard error
    } const refused[] = {
        {"existing files", {"--size", "4KiB", dir.path()}, 2, "0.tmp: already exists; use --force"},
        {"malformed size", {"--size", "12XB", dir.path()}, 2, "malformed size '12XB'"},
        {"too large for readrace", {"--size", "4GiB", dir.path()}, 2, "too large"},
        {"not a directory", {dir / "0.tmp"}, 2, "not a directory"},
        {"cannot be made", {dir / "0.tmp/new"}, 2, "cannot make the directory: Not a directory"},
        {"unknown option",
         {"--force", "--sise=4KiB", dir.path()},
         2,
         "unknown option --sise; did you mean --size?"},
        {"no directory", {}, 2, "readrace_prepare: DIR is required"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> command = {READRACE_PREPARE};
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        const harness::Captured run = harness::RunProgram(command, dir.path());
        EXPECT_EQ(run.status, c.status) << c.title;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.title << ": " << run.err;
    }
    EXPECT_EQ(harness::Snapshot(dir.path()), before) << "a refused run changed the files";

    const harness::Captured forced =
        harness::RunProgram({READRACE_PREPARE, "--size=8KiB", "--force", dir.path()}, ".");
    EXPECT_EQ(forced.status, 0) << forced.err;
    struct stat status;
    ASSERT_EQ(stat((dir / "9.tmp").c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 8192);
    const harness::Captured nested =
        harness::RunProgram({READRACE_PREPARE, "--size=4KiB", "a/new/dir"}, dir.path());
    EXPECT_EQ(nested.status, 0) << nested.err;
    EXPECT_EQ(harness::Snapshot(dir / "a/new/dir").size(), 10u);
    const harness::Captured version = harness::RunProgram({READRACE_PREPARE, "--version"}, ".");
    EXPECT_EQ(version.out, "readrace_prepare 0.1.0\n");

    // Interrupted inside a file: the unfinished file goes, the complete ones stay.
    for (const int signal : {SIGINT, SIGTERM}) {
        harness::ScratchDir big;
        const int pid = harness::StartProgram({READRACE_PREPARE, "--size", "256MiB", big.path()},
                                              ".", big / "out");
        bool writing = false;
        for (int tries = 0; tries < 1000 && !writing; ++tries) {
            for (int i = 0; i < 10 && !writing; ++i) {
                writing =
                    access((big / ("." + std::to_string(i) + ".tmp.partial")).c_str(), F_OK) == 0;
            }
            usleep(2000);
        }
        EXPECT_TRUE(writing);
        EXPECT_EQ(harness::StopProgram(pid, signal), 128 + signal);
        EXPECT_NE(ReadText(big / "out.err").find("interrupted: removed the unfinished"),
                  std::string::npos)
            << ReadText(big / "out.err");
        for (const auto& [name, what] : harness::Snapshot(big.path())) {
            EXPECT_TRUE(name.find("partial") == std::string::npos) << name << " was left";
        }
    }

    struct stat shm;
    if (stat("/dev/shm", &shm) == 0) {
        harness::ScratchDir unused;
        const harness::Captured full =
            harness::RunProgram({READRACE_PREPARE, "--size", "4000MiB", "/dev/shm"}, ".");
        EXPECT_EQ(full.status, 2);
        EXPECT_NE(full.err.find("too little free space"), std::string::npos) << full.err;
    }
}

TEST(Compare, SummarisesRunsAsTextJsonAndChart) {
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 64 << 10);
    harness::ScratchDir output;

    const harness::Captured text =
        harness::RunProgram({READRACE_COMPARE, "--runs", "3", dir.path()}, ".");
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* part : {"3 runs of each", "readrace_seq\n", "readrace_nobuf\n",
                             "per-file median ms", "of 3 runs; Parallel was worse in",
                             "speed-up (serial / parallel total): median ", "(95% CI "}) {
        EXPECT_NE(text.out.find(part), std::string::npos) << part << "\n" << text.out;
    }

    // A name no JSON writer may pass through raw: quote, backslash, tab, newline, 0xFF 0xFE.
    const std::string hostile = output / "a\"b\\c\td\ne\xff\xfe";
    ASSERT_EQ(mkdir(hostile.c_str(), 0755), 0);
    harness::MakeTenFiles(hostile, 64 << 10);
    const std::string svg = output / "chart.svg";
    const std::string markdown = output / "summary.md";
    const harness::Captured json = harness::RunProgram(
        {READRACE_COMPARE, "--runs=2", "--deliverable=nobuf", "--json", "--no-evict", "--svg", svg,
         "--markdown", markdown, "--bin", READRACE_BIN, hostile},
        ".");
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(ReadText(svg).substr(0, 4), "<svg");
    EXPECT_NE(ReadText(markdown).find("| 64 KiB | readrace_nobuf | 2 |"), std::string::npos)
        << ReadText(markdown);
    EXPECT_NE(json.out.find("\\\"b\\\\c\\td\\ne\xef\xbf\xbd\xef\xbf\xbd"), std::string::npos)
        << json.out;
    const std::string jsonPath = output / "compare.json";
    std::ofstream(jsonPath) << json.out;
    const std::string validate = "/usr/bin/python3 -c 'import json, sys, jsonschema; "
                                 "jsonschema.validate(json.load(open(sys.argv[1])), "
                                 "json.load(open(sys.argv[2])))' '" +
                                 jsonPath + "' '" READRACE_SCHEMA "'";
    if (system("/usr/bin/python3 -c 'import jsonschema' 2>/dev/null") != 0) {
        if (harness::InCi()) {
            FAIL() << "python3-jsonschema is not installed";
        }
        GTEST_SKIP() << "no schema check: apt-get install python3-jsonschema";
    }
    EXPECT_EQ(system(validate.c_str()), 0) << json.out;
    EXPECT_NE(json.out.find("\"name\": \"readrace_nobuf\""), std::string::npos);
    EXPECT_EQ(json.out.find("readrace_seq"), std::string::npos);

    const harness::Captured merged = harness::RunProgram(
        {READRACE_COMPARE, "--merge", jsonPath, jsonPath, "--markdown", markdown}, ".");
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(harness::SplitLines(merged.out).size(), 3u) << merged.out;
    EXPECT_EQ(merged.out.substr(0, 4), "host");
    EXPECT_NE(ReadText(markdown).find("| readrace_nobuf |"), std::string::npos);
}

// A sweep of two tiny sizes: its table, its JSON and its chart, and nothing left behind.
TEST(Compare, SweepsSizesInScratchSpace) {
    harness::ScratchDir scratch;
    harness::ScratchDir output;
    const std::string svg = output / "sweep.svg";
    const harness::Captured text = harness::RunProgram(
        {READRACE_COMPARE, "--sizes", "64KiB,4KiB", "--runs", "2", "--svg", svg, scratch.path()},
        ".");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\n4 KiB      readrace_seq "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n64 KiB     readrace_nobuf "), std::string::npos) << text.out;
    EXPECT_NE(ReadText(svg).find("against file size"), std::string::npos);
    EXPECT_TRUE(harness::Snapshot(scratch.path()).empty()) << "the sweep left files behind";

    const harness::Captured json =
        harness::RunProgram({READRACE_COMPARE, "--sizes=4KiB,64KiB", "--runs=1", "--json",
                             "--deliverable", "seq", "--keep", scratch.path()},
                            ".");
    ASSERT_EQ(json.status, 0) << json.err;
    for (const char* part : {"\"sweep\": [", "\"size_bytes\": 4096", "\"size_bytes\": 65536"}) {
        EXPECT_NE(json.out.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(harness::Snapshot(scratch.path()).size(), 2u) << "--keep keeps both sizes' files";
}

TEST(Compare, StopsAtARunThatFailsAndShowsItsDiagnostics) {
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    std::ofstream(dir / "other.json") << "{\"deliverables\": []}";
    harness::ScratchDir empty;
    struct {
        const char* title;
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } const cases[] = {
        {"no files", {empty.path()}, 2, "0.tmp"},
        {"no such deliverable directory",
         {"--bin", empty.path(), dir.path()},
         2,
         "cannot find readrace_seq"},
        {"bad --runs", {"--runs", "0", dir.path()}, 2, "--runs"},
        {"bad --runs=", {"--runs=some", dir.path()}, 2, "--runs takes auto or"},
        {"bad --deliverable", {"--deliverable", "all", dir.path()}, 2, "--deliverable"},
        {"unknown option",
         {"--rnus", "2", dir.path()},
         2,
         "unknown option --rnus; did you mean --runs?"},
        {"a merge of something else", {"--merge", dir / "0.tmp"}, 2, "0.tmp: not a report"},
        {"a merge of other JSON", {"--merge", dir / "other.json"}, 2, "no \"machine\""},
        {"a sweep of a bad size", {"--sizes", "4KiB,5GiB", empty.path()}, 2, "'5GiB'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> command = {READRACE_COMPARE};
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        const harness::Captured run = harness::RunProgram(command, ".");
        EXPECT_EQ(run.status, c.status) << c.title << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.title << ": " << run.err;
    }
    // A run that reports a file it could not read stops the comparison.
    ASSERT_EQ(truncate((dir / "6.tmp").c_str(), 0xFFFFFFFF), 0);
    const harness::Captured failed =
        harness::RunProgram({READRACE_COMPARE, "--runs", "2", dir.path()}, ".");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("readrace_seq, run 1: exit status 1"), std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find("readrace_seq: 6.tmp: not read: the low 32 bits"), std::string::npos)
        << failed.err;
    EXPECT_EQ(failed.out, "");
}

// The benchmark's figures are measurements, not assertions: only that it runs and prints them.
TEST(Bench, RunsAndPrintsEveryFigure) {
    harness::ScratchDir dir;
    const harness::Captured run =
        harness::RunProgram({READRACE_BENCH, "--quick", "--dir", dir.path()}, ".");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    for (const char* part : {"1. empty files", "2. cached", "3. direct", "4. verdict against fio",
                             "peak memory (getrusage)", "bound, two largest files"}) {
        EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
    }
}

} // namespace
