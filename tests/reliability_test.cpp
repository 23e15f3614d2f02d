// What a benchmark people trust must promise, checked from outside the programs: no write,
// creation or removal of any file; every descriptor closed and every buffer freed; no crash,
// hang or torn line, even over many runs at once or in a directory that goes away.
#include "harness.h"
#include "run_check.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace {

// Waits, up to seconds, until a thread of the process sleeps in clock_nanosleep or nanosleep
// (x86-64's calls 230 and 35): where an injected stall holds it, since the run's lines come only
// at its end.
bool WaitForStall(int pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
            int call = -1;
            std::ifstream(task.path() / "syscall") >> call;
            if (call == 230 || call == 35) {
                return true;
            }
        }
        usleep(1000);
    }
    return false;
}

using harness::Entry;

const std::vector<std::pair<std::string, std::string>> Programs = {
    {"readrace_seq", READRACE_SEQ}, {"readrace_nobuf", READRACE_NOBUF}};

bool Found(const std::string& program) {
    return system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(tool)                                                                         \
    do {                                                                                           \
        if (READRACE_SANITIZED) {                                                                  \
            GTEST_SKIP() << tool << " does not watch a sanitized build";                           \
        }                                                                                          \
        if (!Found(tool)) {                                                                        \
            if (harness::InCi()) {                                                                 \
                FAIL() << tool << " is not installed";                                             \
            }                                                                                      \
            GTEST_SKIP() << tool << " is not installed (apt-get install " << tool << ")";          \
        }                                                                                          \
    } while (0)

// Good files, missing ones, a directory, a FIFO and a zero-length file.
void LayOutBadInputs(const harness::ScratchDir& dir) {
    for (int i : {0, 1, 5, 6}) {
        harness::WriteRandomFile(dir / (std::to_string(i) + ".tmp"), (64 << 10) + 7);
    }
    harness::LayOut(dir.path(), {{"3.tmp", Entry::Directory},
                                 {"7.tmp", Entry::Fifo},
                                 {"8.tmp", Entry::Empty},
                                 {"9.tmp", Entry::LinkToDevZero}});
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Reliability, NoFileIsEverWrittenCreatedOrRemoved) {
    REQUIRE_TOOL("strace");
    harness::ScratchDir dir;
    LayOutBadInputs(dir);
    const auto before = harness::Snapshot(dir.path());
    harness::ScratchDir trace;
    for (const auto& [name, program] : Programs) {
        SCOPED_TRACE(name);
        const std::string log = trace / (name + ".strace");
        const harness::Captured run = harness::RunProgram(
            {"strace", "-f", "-qq", "-o", log, "-e",
             "trace=open,openat,openat2,creat,unlink,unlinkat,rename,renameat,renameat2,truncate,"
             "ftruncate,mkdir,mkdirat,link,linkat,symlink,symlinkat,write,writev,pwrite64,"
             "fadvise64",
             program},
            dir.path());
        EXPECT_EQ(run.status, 1) << run.err;
        std::istringstream lines(ReadFile(log));
        std::string line;
        int calls = 0;
        static const std::regex allowedWrite(R"(^\d+ +(write|writev)\([12], .*)");
        static const std::regex anyOpen(R"(^\d+ +(open|openat|openat2)\(.*)");
        static const std::regex writeFlags(R"(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND)");
        // The open hint is all that tells the two programs apart: O_DIRECT on every open of an
        // input file, or the sequential advice on every one that opened as a regular file.
        static const std::regex inputOpen(R"(^\d+ +(open|openat|openat2)\(.*"[0-9]\.tmp".*)");
        static const std::regex sequential(
            R"(^\d+ +fadvise64\(\d+, 0, 0, POSIX_FADV_SEQUENTIAL(\) += 0| <unfinished \.\.\.>)$)");
        const bool direct = name == "readrace_nobuf";
        int inputOpens = 0, advised = 0;
        for (; std::getline(lines, line); ++calls) {
            if (line.find("resumed>") != std::string::npos ||
                line.find("+++") != std::string::npos) {
                continue;
            }
            if (std::regex_search(line, inputOpen)) {
                ++inputOpens;
                EXPECT_EQ(line.find("O_DIRECT") != std::string::npos, direct) << line;
            }
            if (line.find("fadvise64(") != std::string::npos) {
                EXPECT_TRUE(std::regex_match(line, sequential)) << line;
                ++advised;
            } else if (std::regex_search(line, anyOpen)) {
                EXPECT_FALSE(std::regex_search(line, writeFlags)) << line;
            } else {
                EXPECT_TRUE(std::regex_match(line, allowedWrite)) << line;
            }
        }
        EXPECT_GT(calls, 20) << "strace saw too little";
        EXPECT_EQ(inputOpens, 20) << "each listed file opened once per phase";
        // Five regular files (0, 1, 5, 6 and the empty 8), once per phase.
        EXPECT_EQ(advised, direct ? 0 : 10);
    }
    EXPECT_EQ(harness::Snapshot(dir.path()), before);
}

TEST(Reliability, EveryDescriptorClosedAndEveryBufferFreed) {
    REQUIRE_TOOL("valgrind");
    harness::ScratchDir dir;
    LayOutBadInputs(dir);
    harness::ScratchDir logs;
    for (const auto& [name, program] : Programs) {
        SCOPED_TRACE(name);
        const std::string log = logs / (name + ".valgrind");
        const harness::Captured run = harness::RunProgram(
            {"valgrind", "--track-fds=yes", "--leak-check=full", "--errors-for-leak-kinds=definite",
             "--error-exitcode=99", "--log-file=" + log, program},
            dir.path());
        const std::string report = ReadFile(log);
        EXPECT_EQ(run.status, 1) << report;
        // Valgrind lists its own log among the open descriptors; nothing else may be there.
        EXPECT_NE(report.find("FILE DESCRIPTORS: "), std::string::npos) << report;
        static const std::regex openDescriptor(R"(Open file descriptor (\d+): ?(.*))");
        for (std::sregex_iterator found(report.begin(), report.end(), openDescriptor), end;
             found != end; ++found) {
            EXPECT_EQ((*found)[2].str(), log) << "descriptor " << (*found)[1] << " left open";
        }
        EXPECT_TRUE(report.find("definitely lost: 0 bytes in 0 blocks") != std::string::npos ||
                    report.find("no leaks are possible") != std::string::npos)
            << report;
        EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    }
}

// 200 runs of each program, a run of each at the same time, over small files.
TEST(Reliability, ManyRunsInParallelPairsAllComplete) {
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 16 << 10);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int runs = 0;
    for (int pair = 0; pair < 200 && std::chrono::steady_clock::now() < deadline; ++pair) {
        const auto results =
            harness::RunTogether({{Programs[0].second}, {Programs[1].second}}, dir.path());
        for (size_t i = 0; i < results.size(); ++i) {
            ++runs;
            const auto problems = runcheck::CheckCompleteRun(runcheck::Parse(results[i].out));
            ASSERT_TRUE(problems.empty())
                << Programs[i].first << " run " << pair << ": " << problems[0] << "\n"
                << results[i].out;
            ASSERT_EQ(results[i].status, 0) << results[i].err;
            ASSERT_EQ(results[i].err, "");
        }
    }
    RecordProperty("runs", runs);
    EXPECT_GE(runs, 100) << "too few runs within a minute";
}

// Names resolve against the current directory at the time of each open.
TEST(Reliability, ADirectoryRemovedDuringTheRunAndALinkOutsideIt) {
    {
        SCOPED_TRACE("0.tmp is a link to a file outside the directory");
        harness::ScratchDir outside;
        harness::WriteRandomFile(outside / "elsewhere", 5000);
        harness::ScratchDir dir;
        harness::MakeTenFiles(dir.path(), 4096);
        unlink((dir / "0.tmp").c_str());
        ASSERT_EQ(symlink((outside / "elsewhere").c_str(), (dir / "0.tmp").c_str()), 0);
        for (const auto& [name, program] : Programs) {
            const harness::Captured run = harness::RunProgram({program}, dir.path());
            EXPECT_TRUE(runcheck::CheckCompleteRun(runcheck::Parse(run.out)).empty()) << run.out;
            EXPECT_EQ(run.status, 0) << run.err;
        }
    }
    {
        SCOPED_TRACE("the directory is removed while the run waits on 2.tmp");
        harness::ScratchDir parent;
        const std::string dir = parent / "doomed";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        harness::MakeTenFiles(dir, 4096);
        harness::RunOptions options;
        options.environment.push_back("READRACE_FAULTS=CreateFileW:2.tmp=stall:1500");
        const int pid = harness::StartProgram({READRACE_TESTING}, dir, parent / "out", options);
        EXPECT_TRUE(WaitForStall(pid, 15));
        ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
        int waited = 0;
        waitpid(pid, &waited, 0);
        ASSERT_TRUE(WIFEXITED(waited)) << "ended by signal " << WTERMSIG(waited);
        EXPECT_EQ(WEXITSTATUS(waited), 1);
        const runcheck::Run run = runcheck::Parse(ReadFile(parent / "out"));
        EXPECT_TRUE(run.malformed.empty());
        EXPECT_EQ(run.parallel.size() + run.serial.size(), 20u);
        EXPECT_EQ(run.last, run.outcome);
    }
}

} // namespace
