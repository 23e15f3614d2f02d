// Whole runs of the built programs in prepared directories: their output, diagnostics, exit
// status, and the directory left as it was.
#include "harness.h"
#include "run_check.h"

#include <gtest/gtest.h>

#ifndef READRACE_SEQ
#error "READRACE_SEQ, READRACE_NOBUF and READRACE_TESTING must name the built programs"
#endif

namespace {

using harness::Entry;
using harness::Layout;

struct Deliverable {
    std::string name;
    std::vector<std::string> command;
};

std::vector<Deliverable> Deliverables() {
    return {{"readrace_seq", {READRACE_SEQ}}, {"readrace_nobuf", {READRACE_NOBUF}}};
}

struct DirectoryCase {
    const char* title;
    std::vector<Layout> layout; // besides the good files
    std::vector<int> good;      // which of "0.tmp" to "9.tmp" are good files
    std::vector<std::string> arguments;
    // Each failing file's reason; it is reported once per phase.
    std::vector<std::pair<std::string, std::string>> failing;
};

const std::vector<int> AllTen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
const std::string Missing = "cannot open: No such file or directory";

std::vector<DirectoryCase> DirectoryCases() {
    std::vector<std::pair<std::string, std::string>> none;
    for (int i = 0; i < 10; ++i) {
        none.push_back({std::to_string(i) + ".tmp", Missing});
    }
    return {
        {"all ten files", {}, AllTen, {}, {}},
        {"none of the files", {}, {}, {}, none},
        {"bad inputs",
         {{"4.tmp", Entry::Directory},
          {"7.tmp", Entry::Fifo},
          {"8.tmp", Entry::Empty},
          {"9.tmp", Entry::DanglingLink}},
         {0, 1, 2, 5, 6},
         {},
         {{"3.tmp", Missing},
          {"4.tmp", "cannot open: Is a directory"},
          {"7.tmp", "cannot open: Not a regular file"},
          {"9.tmp", Missing}}},
        {"arguments change nothing", {}, AllTen, {"--help", "-x", "0.tmp"}, {}},
    };
}

// Good files of an odd size, so that an unbuffered read has to round its count up.
constexpr unsigned long long GoodSize = (256 << 10) + 123;

void Prepare(const harness::ScratchDir& dir, const DirectoryCase& c) {
    for (int i : c.good) {
        harness::WriteRandomFile(dir / (std::to_string(i) + ".tmp"), GoodSize);
    }
    harness::LayOut(dir.path(), c.layout);
}

TEST(Deliverables, RunInEveryDirectoryAsPromised) {
    for (const Deliverable& deliverable : Deliverables()) {
        for (const DirectoryCase& c : DirectoryCases()) {
            SCOPED_TRACE(deliverable.name + ": " + c.title);
            harness::ScratchDir dir;
            Prepare(dir, c);
            const auto before = harness::Snapshot(dir.path());
            std::vector<std::string> command = deliverable.command;
            command.insert(command.end(), c.arguments.begin(), c.arguments.end());

            const harness::Captured run = harness::RunProgram(command, dir.path());

            for (const std::string& problem : runcheck::CheckCompleteRun(runcheck::Parse(run.out))) {
                ADD_FAILURE() << problem << "\n" << run.out;
            }
            std::string expectedErr;
            for (const auto& [name, reason] : c.failing) {
                const std::string line = deliverable.name + ": " + name + ": " + reason + "\n";
                expectedErr += line + line;
            }
            EXPECT_EQ(runcheck::SortedLines(run.err), runcheck::SortedLines(expectedErr));
            EXPECT_EQ(run.status, c.failing.empty() ? 0 : 1) << run.err;
            EXPECT_EQ(harness::Snapshot(dir.path()), before) << "the directory changed";
        }
    }
}

TEST(Deliverables, ReportOutputThatCannotBeWritten) {
    struct {
        const char* title;
        harness::RunOptions options;
        std::string reason;
    } const cases[] = {
        {"full device", {{}, "/dev/full", false}, "No space left on device"},
        {"closed standard output", {{}, "", true}, "Bad file descriptor"},
    };
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    for (const Deliverable& deliverable : Deliverables()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(deliverable.name + ": " + c.title);
            const harness::Captured run =
                harness::RunProgram(deliverable.command, dir.path(), c.options);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err,
                      deliverable.name + ": standard output: cannot write: " + c.reason + "\n");
        }
    }
}

// The test build waits 300 ms instead of 60000 and injects faults on request.
TEST(Deliverables, ReportAParallelPhaseCutShort) {
    const std::string name = "readrace_testing";
    const std::string invalid = "its total and the outcome are not valid";
    struct {
        const char* title;
        std::string faults;
        std::string expectedErr;
        std::vector<std::string> lostLines; // worker lines the process's end cuts off
    } const cases[] = {
        {"a worker outlasts the wait",
         "ReadFile:2.tmp:worker=stall:2000",
         name + ": parallel phase: cut short after 300 ms; " + invalid + "\n",
         {"2.tmp", "3.tmp", "4.tmp"}},
        {"a thread cannot be created",
         // The serial phase's last read is slowed so that the other worker finishes first.
         "CreateThread:2=EAGAIN;ReadFile:9.tmp=stall:1000",
         name + ": parallel phase: cut short, " + invalid + "; the wait failed: Bad file descriptor\n" +
             name + ": thread for 5.tmp to 9.tmp: cannot create: Resource temporarily unavailable\n",
         {"5.tmp", "6.tmp", "7.tmp", "8.tmp", "9.tmp"}},
    };
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        harness::RunOptions options;
        options.environment.push_back("READRACE_FAULTS=" + c.faults);
        const harness::Captured run = harness::RunProgram({READRACE_TESTING}, dir.path(), options);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(runcheck::SortedLines(run.err), runcheck::SortedLines(c.expectedErr));

        // The run goes on as usual; only the lines of work that never happened are missing.
        const runcheck::Run parsed = runcheck::Parse(run.out);
        EXPECT_TRUE(parsed.malformed.empty()) << run.out;
        EXPECT_TRUE(parsed.hasParallelTotal && parsed.hasSerialTotal) << run.out;
        EXPECT_EQ(parsed.outcome, runcheck::ExpectedOutcome(parsed.parallelTotal, parsed.serialTotal));
        EXPECT_EQ(parsed.last, parsed.outcome);
        std::set<std::string> lost(c.lostLines.begin(), c.lostLines.end());
        for (const auto& time : parsed.parallel) {
            EXPECT_EQ(lost.count(time.name), 0u) << time.name << " was printed";
        }
        // Lines of the surviving worker can fall after the parallel total; they read as serial.
        EXPECT_EQ(parsed.parallel.size() + parsed.serial.size(), 20 - lost.size()) << run.out;
    }
}

} // namespace
