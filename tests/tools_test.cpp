// The companion tools: size texts, the parser of a run's lines, the statistics, and whole runs
// of readrace_prepare and readrace_compare.
#include "harness.h"
#include "report/charts/charts.h"
#include "runs/run_output.h"
#include "runs/run_stats.h"
#include "common/outcome_percentage.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "runs/speedup_stats.h"
#include "runs/storage_stats.h"
#include "report/json_report.h"
#include "report/run_text.h"
#include "report/tables.h"
#include "report/verdict_text.h"

#include <cstdlib>
#include <cmath>
#include <fstream>
#include <set>
#include <random>
#include <regex>
#include <gtest/gtest.h>
#include <sstream>
#include <cstring>
#include <sys/mount.h>
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
    // The interval named first is at the level given, and nothing else changes with it.
    const harness::Captured plain = harness::RunProgram({READRACE_COMPARE, "--help"}, ".");
    std::string strict =
        harness::RunProgram({READRACE_COMPARE, "--level", "0.01", "--help"}, ".").out;
    ASSERT_NE(strict.find("with a 99% confidence interval."), std::string::npos) << strict;
    EXPECT_EQ(strict.replace(strict.find("99%"), 3, "95%"), plain.out);
}

// Every option --help lists has its entry in the tool's manual page, with the default --help
// gives; the page as man renders it, wide enough that no entry wraps.
TEST(CommandLine, ManualPageHasEveryOptionOfHelpWithItsDefault) {
    harness::RunOptions wide;
    wide.environment = {"LC_ALL=C", "MANWIDTH=1000"};
    auto words = [](const std::string& text) {
        return std::regex_replace(text, std::regex("\\s+"), " ");
    };
    for (const std::string tool : {READRACE_PREPARE, READRACE_COMPARE}) {
        const std::string page =
            READRACE_MAN_PAGES "/" + tool.substr(tool.rfind('/') + 1) + ".1.gz";
        const harness::Captured shown = harness::RunProgram({"man", "-l", page}, ".", wide);
        if (shown.status == 127) {
            if (harness::InCi()) {
                FAIL() << "CI checks the manual pages, but man is missing: apt-get install man-db";
            }
            GTEST_SKIP() << "no man, so the manual pages are not checked: apt-get install man-db";
        }
        ASSERT_EQ(shown.status, 0) << shown.err;
        // An option of --help and the lines its text wraps onto.
        const std::string help = harness::RunProgram({tool, "--help"}, ".").out;
        const std::regex option(R"(\n  (-\w, )?(--[\w-]+)[^\n]*(\n {26}[^\n]*)*)");
        for (std::sregex_iterator i(help.begin(), help.end(), option), end; i != end; ++i) {
            // The page's entry: its .TP tag, and its text up to the next line that is not.
            std::smatch entry;
            const std::regex tagged("\n {7}(-\\w, )?" + (*i)[2].str() +
                                    R"([ \n][\s\S]*?(?=\n {0,7}\S|$))");
            if (!std::regex_search(shown.out, entry, tagged)) {
                ADD_FAILURE() << page << " has no entry for " << (*i)[2] << ", which --help lists";
                continue;
            }
            std::smatch given;
            const std::string text = words(i->str());
            if (std::regex_search(text, given, std::regex(R"(\(default: ([^)]*)\))"))) {
                EXPECT_NE(words(entry.str()).find(given[1]), std::string::npos)
                    << page << ": the entry for " << (*i)[2] << " lacks --help's default "
                    << given[1];
            }
        }
    }
}

TEST(CommandLine, EveryToolPrintsItsVersion) {
    for (const std::string tool :
         {READRACE_PREPARE, READRACE_COMPARE, READRACE_BENCH, READRACE_VERDICT_SIM}) {
        const harness::Captured version = harness::RunProgram({tool, "--version"}, ".");
        EXPECT_EQ(version.status, 0) << tool;
        EXPECT_EQ(version.out.rfind(tool.substr(tool.rfind('/') + 1) + " ", 0), 0u) << tool;
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
         Replace(good, "120% as long as serial.", "No percentage: serial total is 0."), "line 23 "},
        {"outcome against the totals", Replace(good, "120%", "121%"), "line 23 "},
        {"serial faster by its outcome", Replace(good, "Parallel was worse", "Serial was worse"),
         "line 23 "},
        {"zero total",
         Replace(Replace(good, "Serial total time: 1000", "Serial total time: 0"),
                 "120% as long as serial.", "No percentage: serial total is 0."),
         "a total that is not positive"},
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
        {"a phase against itself", Replace(good, "as long as serial", "as long as parallel"),
         "line 23 "},
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

TEST(SafeText, EscapesControlsForTheTerminalAndMarkupForMarkdown) {
    const struct {
        std::string text, terminal, markdown;
    } cases[] = {
        {"\033]0;OWNED\a\033[2J", "\\033]0;OWNED\\a\\033[2J", "\\033&#93;0;OWNED\\a\\033&#91;2J"},
        {"<img src=x onerror=alert(1)>", "<img src=x onerror=alert(1)>",
         "&lt;img src=x onerror=alert(1)&gt;"},
        {"a|b`c\nd\te", "a|b`c\\nd\\te", "a\\|b&#96;c d\\te"},
        {"C:\\d \"x\" 'y' & \x7f\xc2\x9b\xc3\xa9", "C:\\d \"x\" 'y' & \\177\\302\\233\xc3\xa9",
         "C:&#92;d &quot;x&quot; &#39;y&#39; &amp; \\177\\302\\233\xc3\xa9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools::TerminalText(c.text), c.terminal) << c.text;
        EXPECT_EQ(tools::MarkdownCell(c.text), c.markdown) << c.text;
    }
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
    // No usable clock gives no times, never infinities.
    EXPECT_EQ(tools::Summarize(runs, 0, 10000000).parallelMBps.max, 0);
    // The outcome's percentage as the programs print it, wrapping included.
    const long long outcomes[][3] = {{300, 200, 150},
                                     {600, 599, 100},
                                     {10, -3, -333},
                                     {100000000000000000, 1, -8446744073709551616}};
    for (const auto& [longer, shorter, percentage] : outcomes) {
        EXPECT_EQ(tools::OutcomePercentage(longer, shorter), percentage) << longer;
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

// What the counters and the cache say becomes the caveat, the judged bypass and the storage
// line: 10 MB a phase.
TEST(StorageStats, TheCacheCaveatFollowsTheMeasurement) {
    const tools::StorageCounters start{1000, 10, 5, 5};
    struct {
        const char* what;
        unsigned long long bytes; // read during each run; 0 for no counters
        int cachedPages;          // of 100 after each run; -1 where unknown
        bool evicted, buffered;
        const char* caveat;
        const char* line;
        int bypass; // -1 not judged, 0 ignored, 1 honoured
    } const cases[] = {
        {"read once", 10000000, 100, true, true,
         "; but its serial phase read what the parallel phase had cached",
         "read 1.00x the files' bytes per run (median of 2) from loop0 and loop1, in requests of "
         "488.3 KiB, 1.5 in flight while busy; 100% of the files' pages in the page cache after "
         "a run",
         -1},
        {"read twice", 20000000, 0, true, false, "",
         "read 2.00x the files' bytes per run (median of 2) from loop0 and loop1, in requests of "
         "976.6 KiB, 1.5 in flight while busy; 0% of the files' pages in the page cache after a "
         "run",
         1},
        {"nothing cached, unmeasured", 0, 0, true, true, "",
         "not measured: no device; 0% of the files' pages in the page cache after a run", -1},
        {"cached, unmeasured", 0, 100, true, true,
         "; but its serial phase read what the parallel phase had cached (the files were in the "
         "page cache after its runs; storage traffic not measured)",
         "not measured: no device; 100% of the files' pages in the page cache after a run", -1},
        {"unbuffered but cached, read once", 10000000, 100, true, false,
         "; but this file system read readrace_nobuf's files through the page cache; its serial "
         "phase read what the parallel phase had cached",
         "read 1.00x the files' bytes per run (median of 2) from loop0 and loop1, in requests of "
         "488.3 KiB, 1.5 in flight while busy; 100% of the files' pages in the page cache after "
         "a run",
         0},
        {"unbuffered but cached, unmeasured", 0, 60, true, false,
         "; but this file system read readrace_nobuf's files through the page cache; its serial "
         "phase read what the parallel phase had cached",
         "not measured: no device; 60% of the files' pages in the page cache after a run", 0},
        {"unbuffered but cached, read twice", 20000000, 100, true, false,
         "; but this file system left readrace_nobuf's files in the page cache, though storage "
         "traffic shows both phases reading them from storage",
         "read 2.00x the files' bytes per run (median of 2) from loop0 and loop1, in requests of "
         "976.6 KiB, 1.5 in flight while busy; 100% of the files' pages in the page cache after "
         "a run",
         0},
        {"nothing known, buffered", 0, -1, true, true,
         "; but the cache may have served its serial phase (buffered reads; storage traffic "
         "and the cache's contents not measured)",
         "not measured: no device", -1},
        {"nothing known, unbuffered", 0, -1, true, false,
         "; but the cache may have served its serial phase (unbuffered reads, which this system "
         "may still cache; storage traffic and the cache's contents not measured)",
         "not measured: no device", -1},
        {"a warm start on purpose", 0, 100, false, false, "",
         "not measured: no device; 100% of the files' pages in the page cache after a run", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<tools::RunTraffic> traffic;
        for (int run = 0; run < 2; ++run) {
            tools::StorageCounters end = start;
            end.bytesRead += c.bytes;
            end.reads += 20;
            end.busyMs += 10;
            end.queueMs += 15;
            const tools::Residency after{c.cachedPages >= 0,
                                         (unsigned long long)std::max(c.cachedPages, 0), 100};
            traffic.push_back(tools::MeasureRun(c.bytes > 0 ? &start : nullptr, &end, after,
                                                10000000, c.evicted, c.buffered));
        }
        const tools::StorageSummary summary = tools::SummarizeStorage(traffic);
        EXPECT_EQ(tools::CacheCaveat(tools::JudgeCache(summary, c.evicted, c.buffered)), c.caveat);
        const std::vector<std::string> devices = {"loop0", "loop1"};
        EXPECT_EQ(tools::StorageText(summary, devices, "no device"), c.line);
        EXPECT_EQ(tools::BypassJudged(summary) ? (int)tools::BypassHonoured(summary) : -1,
                  c.bypass);
    }
    // Under 0.9x the files' bytes from an evicted start, the cache served part of the run.
    const tools::StorageCounters less{1000 + 8000000, 20, 10, 10};
    EXPECT_TRUE(tools::MeasureRun(&start, &less, {}, 10000000, true, true).partlyCached);
    EXPECT_FALSE(tools::MeasureRun(&start, &less, {}, 10000000, false, true).partlyCached);
    // A counter that went backwards (a device re-attached) gives no delta, never a huge one.
    EXPECT_EQ(tools::CountersDelta(less, start).bytesRead, 0u);
}

// The levels against values worked out apart from this code (scipy's binomial, an exact walk).
TEST(EstimateSpeedup, LevelsMatchAnIndependentReckoning) {
    EXPECT_EQ(tools::MedianOf({4, 1, 3, 2}), 2.5);
    const int ranks[][2] = {{5, 0}, {6, 1}, {10, 2}, {20, 6}, {30, 10}};
    for (const auto& [n, rank] : ranks) {
        EXPECT_EQ(tools::SignRank(n, 0.05), rank) << n;
    }
    const struct {
        int cap;
        double perLook, error;
    } plans[] = {{30, 1.0 / 64, 0.04622926563024521},
                 {10, 1.0 / 32, 0.04296875},
                 {60, 0.011507789735333063, 0.047661873153896445}};
    for (const auto& c : plans) {
        const tools::SpeedupPlan plan = tools::SequentialPlan(5, c.cap);
        EXPECT_NEAR(plan.perLookLevel, c.perLook, 1e-12) << c.cap;
        EXPECT_NEAR(plan.errorBound, c.error, 1e-12) << c.cap;
    }
    // The next tail up would break 5%: 2 P(Binomial(29, 1/2) <= 8), over 5.00005%.
    EXPECT_GT(tools::AnyLookExcludes(5, 30, tools::SignTail(29, 8)), 0.05);
}

// The promise, by simulation through the real statistics: where nothing differs, in auto mode and
// with fixed runs, under normal, heavy-tailed and skewed noise at CV 3% to 60%, at most 5% of
// sessions claim a difference (within three standard errors of the simulation); a true 1.15x
// and 1.25x at CV 10% are found in 80% of sessions, in the wrong direction in at most 1%.
TEST(EstimateSpeedup, KeepsItsPromiseInSimulation) {
    const harness::Captured run =
        harness::RunProgram({READRACE_VERDICT_SIM, "--check", "--sessions", "1000"}, ".");
    EXPECT_EQ(run.status, 0) << run.err << run.out;
}

// The verdict and its interval say the same in the text, the JSON and the Markdown.
TEST(EstimateSpeedup, VerdictAndIntervalAgreeInEveryReport) {
    const struct {
        std::vector<double> speedups;
        const char* verdict;
        std::string conclusion; // its start
        double level = 0.05;
    } cases[] = {
        {{1.3, 1.2, 1.24, 1.1, 1.4, 1.24}, "parallel", "two readers at once were 1.24x as fast"},
        {{0.5, 0.6, 0.55, 0.52, 0.58, 0.61}, "serial", "one reader was 1.77x as fast as two"},
        {{1.001, 1.01, 1.02, 1.005, 1.015, 1.002}, "parallel", "two readers at once were faster, "},
        {{1.0, 0.99, 1.01, 0.995, 1.005, 1.02}, "equivalent", "the same within 3% (speed-up 1.00"},
        {{0.9, 1.2, 1.0, 0.8, 1.1, 1.3},
         "unclear",
         "no clear difference (speed-up 1.05, 95% CI "
         "0.80-1.30): the runs vary too much for even"},
        {{2.15}, "unclear", "1 run is too few for a verdict"},
        {{1.3, 1.2, 1.24, 1.1, 1.4, 1.24, 1.22, 1.26},
         "parallel",
         "two readers at once were 1.24x as fast (97.5% CI 1.10-1.40)",
         0.025},
        {{1, 1, 1, 1, 1, 1}, "equivalent", "the same within 3% (speed-up 1.00, 95% CI 1.00-1.00)"},
    };
    // Each case's table cell and phrase.
    const char* const shown[][2] = {{"1.24 (1.10-1.40)", "two readers faster"},
                                    {"0.56 (0.50-0.61)", "one reader faster"},
                                    {"1.01 (1.001-1.020)", "two readers faster, by less than 3%"},
                                    {"1.00 (0.99-1.02)", "the same within 3%"},
                                    {"1.05 (0.80-1.30)", "no clear difference"},
                                    {"2.15 (no interval)", "no verdict: too few runs"},
                                    {"1.24 (1.10-1.40)", "two readers faster"},
                                    {"1.00 (1.00-1.00)", "the same within 3%"}};
    for (const auto& c : cases) {
        tools::DeliverableRuns d;
        d.name = "readrace_nobuf";
        for (const double speedup : c.speedups) {
            tools::RunOutput run;
            run.serialTotal = std::llround(speedup * 1e6);
            run.parallelTotal = 1000000;
            d.runs.push_back(run);
        }
        tools::Conclude(&d, {1e9, 300, true}, 10 << 20, false, tools::FixedPlan(c.level));
        const std::string conclusion = tools::Conclusion(d);
        SCOPED_TRACE(conclusion);
        EXPECT_EQ(conclusion.substr(0, c.conclusion.size()), c.conclusion);
        const tools::Json json = tools::DeliverableJson(d)["summary"]["speedup"];
        EXPECT_EQ(json["verdict"], c.verdict);
        if (tools::HasInterval(d.speedup)) {
            const double low = json["ci95"][0], high = json["ci95"][1];
            EXPECT_EQ(std::string(c.verdict) == "parallel", low > 1);
            EXPECT_EQ(std::string(c.verdict) == "serial", high < 1);
        }
        tools::Comparison comparison;
        comparison.fileSize = 1 << 20;
        comparison.deliverables = {d};
        const auto row = tools::SummaryRows(std::span(&comparison, 1))[0];
        EXPECT_EQ(row[5], shown[&c - cases][0]);
        EXPECT_EQ(row[6], shown[&c - cases][1]);
        tools::ComparisonReport compared;
        compared.comparison = comparison;
        compared.context.clock = {1e9, 300, true};
        const tools::Report report = compared;
        const std::string text = tools::RenderText(report);
        // An interval the text states is drawn, even one of no width.
        EXPECT_EQ(tools::RenderSvg(report).find("class=\"interval\"") != std::string::npos,
                  tools::HasInterval(d.speedup));
        EXPECT_NE(text.find("readrace_nobuf\n  " + conclusion + "\n"), std::string::npos) << text;
        // Every format says the one phrase and the interval's own confidence, never another.
        const std::string stated = c.level == 0.05 ? "95%" : "97.5%";
        const std::string other = c.level == 0.05 ? "97.5%" : "95%";
        for (const std::string& format : {text, tools::RenderMarkdown(report),
                                          tools::RenderSvg(report), tools::RenderHtml(report)}) {
            // The text says the whole conclusion instead, as checked above.
            EXPECT_TRUE(format == text || format.find(shown[&c - cases][1]) != std::string::npos)
                << format;
            EXPECT_EQ(format.find(other), std::string::npos) << format;
            EXPECT_NE(format.find(stated), std::string::npos) << format;
        }
        EXPECT_NE(tools::RenderJson(report).find(c.level == 0.05 ? "\"confidence\": 0.95,"
                                                                 : "\"confidence\": 0.975,"),
                  std::string::npos);
    }
}

// The count suggested to settle an unclear verdict: one whose interval is narrower than the
// runs' own (six runs at 95% span the least to the most until nine), or -1 where the runs vary
// too much for LargestCap.
TEST(EstimateSpeedup, SuggestsACountThatCanSettleIt) {
    const struct {
        std::vector<double> speedups;
        int fixed, automatic;
    } cases[] = {
        {{1.04, 0.98, 1.07, 1.10, 0.95, 1.06}, 56, 83},
        {{0.9, 1.2, 1.0, 0.8, 1.1, 1.3}, -1, -1},
        {{1.5, 1.5}, 0, 0}, // no spread to project from
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools::RunsToSettle(c.speedups, tools::FixedPlan()), c.fixed);
        EXPECT_EQ(tools::RunsToSettle(c.speedups, tools::SequentialPlan(5, 30)), c.automatic);
    }
}

// From which size on a sweep's verdict holds: either way, at every size, or from none.
TEST(Crossover, NamesTheSizeFromWhichTheVerdictHolds) {
    const std::vector<double> parallel = {1.3, 1.2, 1.24, 1.1, 1.4, 1.24},
                              serial = {0.5, 0.6, 0.55, 0.52, 0.58, 0.61},
                              unclear = {0.9, 1.2, 1.0, 0.8, 1.1, 1.3};
    const struct {
        std::vector<std::vector<double>> bySize; // at 4 KiB, 64 KiB and 1 MiB
        std::string crossover;
    } cases[] = {
        {{unclear, parallel, parallel}, "from 64 KiB on, two readers faster"},
        {{parallel, unclear, serial}, "from 1 MiB on, one reader faster"},
        {{serial, serial, serial}, "at every size, one reader faster"},
        {{parallel, serial, unclear}, ""},
    };
    for (const auto& c : cases) {
        std::vector<tools::Comparison> sweep;
        for (size_t i = 0; i < c.bySize.size(); ++i) {
            tools::DeliverableRuns d;
            d.name = "readrace_seq";
            d.speedup = tools::EstimateSpeedup(c.bySize[i]);
            sweep.emplace_back();
            sweep.back().fileSize = 4096ull << (4 * i);
            sweep.back().deliverables = {d};
        }
        EXPECT_EQ(tools::Crossover(sweep, "readrace_seq"), c.crossover);
    }
}

// The values of an attribute in the elements of one class.
std::vector<double> Attributes(const std::string& svg, const std::string& kind,
                               const std::string& name) {
    std::vector<double> values;
    const std::regex element("<[a-z]+ [^>]*class=\"" + kind + "\"[^>]*>");
    const std::regex attribute(" " + name + "=\"([-0-9.e]+)\"");
    for (std::sregex_iterator at(svg.begin(), svg.end(), element), end; at != end; ++at) {
        std::smatch value;
        const std::string text = at->str();
        if (std::regex_search(text, value, attribute)) {
            values.push_back(std::stod(value[1]));
        }
    }
    return values;
}

// One rendering of each chart: round ticks on the log axes, the line at 1 where 1 is, an
// outlier clipped and marked, and outside text escaped.
TEST(Charts, ShowTheAnswerOnRoundScales) {
    const std::set<double> round = {0.01, 0.02, 0.05, 0.1, 0.2, 0.25, 0.5, 0.8, 0.9, 1,  1.1,
                                    1.25, 1.5,  2,    3,   4,   5,    10,  20,  50,  100};
    auto run = [](long long parallel, long long serial, long long outlier) {
        tools::RunOutput output;
        for (int file = 0; file < 10; ++file) {
            output.parallel.push_back({file, file == 3 ? outlier : parallel});
            output.serial.push_back({file, serial});
        }
        output.parallelTotal = 10 * parallel;
        output.serialTotal = 10 * serial;
        return output;
    };
    std::vector<tools::Comparison> sweep;
    for (const unsigned long long size : {1ull << 20, 4ull << 20, 16ull << 20}) {
        tools::Comparison comparison;
        comparison.fileSize = size;
        for (const char* name : {"readrace_seq", "readrace_<nobuf>"}) {
            tools::DeliverableRuns d;
            d.name = name;
            for (int i = 0; i < 8; ++i) {
                d.runs.push_back(run(10000 + 500 * i, (size >> 10) + 9000, 10000));
            }
            d.speedup = tools::EstimateSpeedup(tools::RunSpeedups(d.runs));
            comparison.deliverables.push_back(d);
        }
        sweep.push_back(comparison);
    }
    sweep[0].deliverables[0].runs[0] = run(10000, 9000, 400000); // 0.4 s, against 10 ms
    const std::string speedups = tools::SpeedupSvg(tools::SpeedupRows(sweep), "host <&>");
    const std::string sweepChart = tools::SweepSvg(sweep, "host <&>");
    for (const auto& [svg, axis] : {std::pair{speedups, "x1"}, {sweepChart, "y1"}}) {
        const std::vector<double> ticks = Attributes(svg, "tick", "data-value");
        const std::vector<double> at = Attributes(svg, "tick", axis);
        ASSERT_GE(ticks.size(), 3u);
        for (size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_TRUE(round.count(ticks[i])) << ticks[i];
            if (ticks[i] == 1) {
                EXPECT_EQ(Attributes(svg, "one", axis), std::vector<double>{at[i]});
            }
        }
        EXPECT_NE(svg.find("two readers faster"), std::string::npos);
        EXPECT_NE(svg.find("host &lt;&amp;&gt;"), std::string::npos);
        EXPECT_EQ(Attributes(svg, "band", axis == std::string("x1") ? "width" : "height").size(),
                  1u);
    }
    EXPECT_EQ(Attributes(speedups, "median", "x1").size(), 6u);
    // Merged, two reports of other margins: a band each; grouped, their lowest to highest is a
    // range, not an interval, the band the widest margin, and a sweep's sizes not more reports.
    tools::MergeReport merge;
    for (const double margin : {0.03, 0.1}) {
        tools::CheckedProgram program{
            1 << 20, "", "readrace_seq", 0, 0, sweep[0].deliverables[0].speedup, {1.1}, {}};
        program.speedup.margin = margin;
        merge.reports.push_back({"host", "", "", "", 0, {}, {program}});
    }
    const std::string fleet = tools::RenderSvg(merge);
    EXPECT_EQ(Attributes(fleet, "band", "width").size(), 2u);
    EXPECT_NE(fleet.find("grey bands: each row"), std::string::npos);
    merge.reports[1].programs.push_back(merge.reports[1].programs[0]); // a sweep: two sizes
    merge.reports[1].programs[1].fileSize = 4 << 20;
    merge.groupBy = {"program"};
    const std::string groups = tools::RenderSvg(merge);
    EXPECT_NE(groups.find("grey band: the same within 10%"), std::string::npos);
    EXPECT_EQ(Attributes(groups, "range", "x1").size(), 1u);
    EXPECT_EQ(Attributes(groups, "interval", "x").size(), 0u);
    EXPECT_NE(groups.find(", 3 medians from 2 reports"), std::string::npos) << groups;
    const tools::SpeedupEstimate& e = sweep[1].deliverables[0].speedup;
    EXPECT_NE(speedups.find(" (" + tools::IntervalText(e.low, e.high) + "), 8 runs"),
              std::string::npos);
    EXPECT_NE(sweepChart.find(">8 runs<"), std::string::npos);
    EXPECT_NE(sweepChart.find("readrace_&lt;nobuf&gt;"), std::string::npos);

    const std::string times = tools::FileTimesSvg(1e6, sweep[0].deliverables);
    const std::vector<double> ticks = Attributes(times, "tick", "data-value");
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_LT(ticks.back(), 100) << "the outlier set the scale";
    const double step = ticks[1] - ticks[0];
    const double digits = step / std::pow(10, std::floor(std::log10(step)));
    EXPECT_TRUE(digits == 1 || digits == 2 || digits == 5) << step;
    for (const double tick : ticks) {
        EXPECT_DOUBLE_EQ(std::fmod(tick, step), 0);
    }
    EXPECT_EQ(Attributes(times, "clipped", "stroke-width").size(), 1u);
    EXPECT_NE(times.find("1 time above 25 ms, drawn at the top; the largest 400.0 ms"),
              std::string::npos);
    EXPECT_NE(times.find("time per file (ms)"), std::string::npos);
    EXPECT_EQ(tools::EscapeMarkup("a<b>&\"'\x01\xff\xc3\xa9"),
              "a&lt;b&gt;&amp;&quot;&#39; \xef\xbf\xbd\xc3\xa9");
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
                // Built with snprintf: GCC 12's Release build sees a false overlap in the chained
                // concatenation.
                char name[64];
                snprintf(name, sizeof name, ".%d.tmp.%d.partial", i, pid);
                writing = access((big / name).c_str(), F_OK) == 0;
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
}

// Files that do not fit are refused before any is written: into a 1 MiB tmpfs the test mounts
// itself, never a file system of the host's, whose room varies from host to host.
TEST(Prepare, RefusesFilesThatDoNotFit) {
    harness::ScratchDir dir;
    const bool root = geteuid() == 0;
    if (!root || mount("readrace", dir.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m")) {
        const std::string why = root ? std::string("cannot mount a tmpfs: ") + strerror(errno)
                                     : "not root, so no tmpfs of the test's own to fill";
        if (harness::InCi()) {
            FAIL() << why;
        }
        GTEST_SKIP() << why;
    }
    const harness::Captured full =
        harness::RunProgram({READRACE_PREPARE, "--size", "1MiB", dir.path()}, ".");
    const size_t entries = harness::Snapshot(dir.path()).size();
    EXPECT_EQ(umount(dir.path().c_str()), 0) << strerror(errno);
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find(": too little free space: 11 MiB needed, "), std::string::npos)
        << full.err;
    EXPECT_LE(entries, 1u) << "files were written (the lock file may stay)";
}

TEST(Compare, SummarisesRunsAsTextJsonAndChart) {
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 64 << 10);
    harness::ScratchDir output;

    const harness::Captured text =
        harness::RunProgram({READRACE_COMPARE, "--runs", "6", dir.path()}, ".");
    ASSERT_EQ(text.status, 0) << text.err;
    // Only lines printed whatever verdict this machine's timings give.
    for (const char* part :
         {"6 runs of each", "readrace_seq\n", "readrace_nobuf\n", "per-file median ms",
          "of 6 runs; Parallel was worse in", "speed-up (serial / parallel total): median ",
          " over 6 runs; 95% CI ", "\n  storage: "}) {
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
         "--markdown", markdown, "--label", "rack 7", "--bin", READRACE_BIN, hostile},
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

    const harness::Captured merged =
        harness::RunProgram({READRACE_COMPARE, "--merge", jsonPath, "--markdown", markdown}, ".");
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(harness::SplitLines(merged.out).size(), 2u) << merged.out;
    EXPECT_EQ(merged.out.substr(0, 4), "host");
    EXPECT_NE(merged.out.find("  rack 7  "), std::string::npos) << merged.out;
    EXPECT_NE(ReadText(markdown).find("| readrace_nobuf |"), std::string::npos);
    const harness::Captured checked =
        harness::RunProgram({READRACE_COMPARE, "--check", jsonPath}, ".");
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out, jsonPath + ": verified (readrace_nobuf: unclear over 2 runs)\n");

    // The same host under another label is another row; an edited verdict is named.
    std::string other = json.out, edited = json.out;
    other.replace(other.find("rack 7"), 6, "=rack, \\\"8\\\"");
    edited.replace(edited.find("\"verdict\": \"unclear\""), 20, "\"verdict\": \"parallel\"");
    std::ofstream(output / "other.json") << other;
    std::ofstream(output / "edited.json") << edited;
    const std::string csv = output / "runs.csv";
    const harness::Captured both =
        harness::RunProgram({READRACE_COMPARE, "--merge", "--group-by", "program", "--csv", csv,
                             jsonPath, output / "other.json"},
                            ".");
    EXPECT_EQ(both.status, 0) << both.err;
    // Every run a row, and a label with a comma and quotes as it was, read back by Python's csv,
    // but for the quote that keeps a spreadsheet from running it as a formula.
    const std::string labels =
        "/usr/bin/python3 -c 'import csv, sys; rows = list(csv.DictReader("
        "open(sys.argv[1], newline=\"\"))); sys.exit(len(rows) != 4 or "
        "{r[\"label\"] for r in rows} != {\"rack 7\", \"\\x27=rack, \\\"8\\\"\"})' '" +
        csv + "'";
    EXPECT_EQ(system(labels.c_str()), 0) << ReadText(csv);
    EXPECT_NE(
        both.out.find("\nreadrace_nobuf  2      2        0%        0%      0%          100%  "),
        std::string::npos)
        << both.out;
    const harness::Captured wrong =
        harness::RunProgram({READRACE_COMPARE, "--check", jsonPath, output / "edited.json"}, ".");
    EXPECT_EQ(wrong.status, 1) << wrong.err;
    EXPECT_EQ(
        harness::SplitLines(wrong.out).back(),
        output / "edited.json" +
            ": /deliverables/0/summary/speedup/verdict says parallel; its 2 runs give unclear");
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
    const auto kept = harness::Snapshot(scratch.path());
    ASSERT_EQ(kept.size(), 1u) << "the sweep's one folder";
    EXPECT_EQ(kept.begin()->first.rfind("readrace-sweep-", 0), 0u) << kept.begin()->first;
    EXPECT_EQ(harness::Snapshot(scratch / kept.begin()->first).size(), 2u)
        << "--keep keeps both sizes' files";
    // Merged, each size's row names the folder its runs were made in.
    harness::ScratchDir reports;
    const std::string report = reports.path() + "/sweep.json";
    std::ofstream(report) << json.out;
    const harness::Captured merged =
        harness::RunProgram({READRACE_COMPARE, "--merge", report}, ".");
    const std::vector<std::string> rows = harness::SplitLines(merged.out);
    ASSERT_EQ(rows.size(), 3u) << merged.out;
    for (size_t i = 1; i < rows.size(); ++i) {
        const bool small = rows[i].find(" 4 KiB ") != std::string::npos;
        EXPECT_NE(rows[i].find(small ? "readrace-4096B " : "readrace-65536B "), std::string::npos)
            << rows[i];
    }
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
        {"bad --runs=", {"--runs=some", dir.path()}, 2, "--runs: takes auto or"},
        {"bad --deliverable", {"--deliverable", "all", dir.path()}, 2, "--deliverable"},
        {"unknown option",
         {"--rnus", "2", dir.path()},
         2,
         "unknown option --rnus; did you mean --runs?"},
        {"a merge of something else", {"--merge", dir / "0.tmp"}, 2, "0.tmp: not a report"},
        {"a merge of other JSON", {"--merge", dir / "other.json"}, 2, "/machine is missing"},
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
