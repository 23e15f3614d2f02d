// Whole runs of the built programs in prepared directories: their output, diagnostics, exit
// status, and the directory left as it was. The Windows programs run under Wine with the same
// checks, where they have been built.
#include "harness.h"
#include "run_check.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifndef READRACE_SEQ
#error "READRACE_SEQ, READRACE_NOBUF and READRACE_TESTING must name the built programs"
#endif
#ifndef READRACE_WINDOWS_BUILDS
#define READRACE_WINDOWS_BUILDS ""
#endif

namespace {

using harness::Entry;
using harness::Layout;

// What can go wrong with a file, in each system's words.
enum Reason { Missing, IsDirectory, NotRegular, SharingViolation };

struct Deliverable {
    std::string name;
    std::vector<std::string> command;
    bool windows;
};

std::string Say(Reason reason, bool windows) {
    switch (reason) {
    case Missing:
        return windows ? "cannot open: File not found" : "cannot open: No such file or directory";
    case IsDirectory:
        return windows ? "cannot open: Access denied" : "cannot open: Is a directory";
    case NotRegular:
        return "cannot open: Not a regular file";
    case SharingViolation:
        return "cannot open: Sharing violation";
    }
    return "";
}

// The Windows builds' directory for an architecture, "" where there is none.
std::string WindowsBuild(const std::string& architecture) {
    const std::string builds = READRACE_WINDOWS_BUILDS;
    return builds.empty() ? "" : builds + "/mingw-" + architecture;
}

bool Found(const std::string& program) {
    return system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

const char* const Architectures[] = {"x86_64", "i686"};

std::string WindowsProgram(const std::string& architecture, const std::string& name) {
    return WindowsBuild(architecture) + "/src/" + name + ".exe";
}

// Why the Windows programs cannot run here, or "" when they can.
std::string WindowsMissing() {
    if (!Found("wine") || access("/usr/lib/wine/wine64", X_OK) != 0) {
        return "wine cannot run 64-bit programs (apt-get install wine wine64)";
    }
    for (const std::string architecture : Architectures) {
        if (access(WindowsProgram(architecture, "readrace_seq").c_str(), X_OK) != 0) {
            if (!Found(architecture + "-w64-mingw32-g++")) {
                return "the Windows programs are not built (apt-get install g++-mingw-w64-x86-64 "
                       "g++-mingw-w64-i686, then bash tests/run.sh)";
            }
            return "the " + architecture +
                   " Windows programs are not built (run cmake --workflow --preset mingw-" +
                   architecture + ")";
        }
    }
    return "";
}

// Wine's own loader for an architecture. The "wine" script tries the 32-bit loader first, so
// the x86_64 programs must not depend on it.
std::string WineLoader(const std::string& architecture) {
    if (architecture == "x86_64" && access("/usr/lib/wine/wine64", X_OK) == 0) {
        return "/usr/lib/wine/wine64";
    }
    return "wine";
}

// Why the i686 programs cannot run here, or "": some kernels refuse 32-bit programs outright,
// which no package mends, and 32-bit Wine comes from the i386 architecture, whose package
// index a mirror may fail to serve. Asked once.
std::string ThirtyTwoBitMissing() {
    static const std::string missing = [] {
        if (access("/usr/lib/wine/wine", X_OK) != 0) {
            return std::string("32-bit Wine is not installed (dpkg --add-architecture i386 && "
                               "apt-get update && apt-get install wine32): the i686 programs "
                               "are built and packed but not run");
        }
        const bool refused =
            harness::RunInChild(".", [] {
                execl("/usr/lib/wine/wine", "wine", "--version", static_cast<char*>(nullptr));
                return errno == ENOEXEC ? 1 : 0;
            }).status == 1;
        return std::string(refused ? "this kernel refuses 32-bit programs (Exec format error): "
                                     "the i686 programs are built and packed but not run"
                                   : "");
    }();
    return missing;
}

// The architectures whose programs this machine can run.
std::vector<std::string> RunnableArchitectures() {
    if (!ThirtyTwoBitMissing().empty()) {
        return {"x86_64"};
    }
    return {"x86_64", "i686"};
}

// A prefix of the build tree's own, made once, so that no run's diagnostics carry Wine's
// messages about creating it. Wine's server leaves a wine-XXXXXX folder in TMPDIR for good, so
// TMPDIR is in the build tree too and a test run adds nothing to /tmp.
std::vector<std::string> WineEnvironment() {
    const std::string prefix = std::string(READRACE_TEST_SCRATCH) + "/../wineprefix";
    const std::string temporary = std::string(READRACE_TEST_SCRATCH) + "/../winetmp";
    std::vector<std::string> environment = {
        "WINEPREFIX=" + prefix, "TMPDIR=" + temporary, "WINEDEBUG=-all",
        "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d", "DISPLAY="};
    static bool ready = false;
    if (!ready) {
        mkdir(temporary.c_str(), 0700);
        harness::RunOptions options{environment, "", false};
        harness::RunProgram({WineLoader("x86_64"), "wineboot", "-i"}, ".", options);
        ready = true;
    }
    return environment;
}

#define REQUIRE_WINDOWS_PROGRAMS()                                                                 \
    do {                                                                                           \
        if (WindowsBuild("x86_64").empty()) {                                                      \
            GTEST_SKIP() << "this build leaves the Windows programs to the default preset";        \
        }                                                                                          \
        const std::string missing = WindowsMissing();                                              \
        if (!missing.empty()) {                                                                    \
            if (harness::InCi()) {                                                                 \
                FAIL() << "CI runs the Windows programs, but " << missing;                         \
            }                                                                                      \
            GTEST_SKIP() << "Windows programs skipped: " << missing;                               \
        }                                                                                          \
    } while (0)

harness::RunOptions OptionsFor(const Deliverable& deliverable) {
    harness::RunOptions options;
    if (deliverable.windows) {
        options.environment = WineEnvironment();
    }
    return options;
}

std::vector<Deliverable> LinuxDeliverables() {
    return {{"readrace_seq", {READRACE_SEQ}, false}, {"readrace_nobuf", {READRACE_NOBUF}, false}};
}

// Both programs of both architectures; the trace names them by their command.
std::vector<Deliverable> WindowsDeliverables() {
    std::vector<Deliverable> deliverables;
    for (const std::string& architecture : RunnableArchitectures()) {
        for (const char* name : {"readrace_seq", "readrace_nobuf"}) {
            deliverables.push_back(
                {name, {WineLoader(architecture), WindowsProgram(architecture, name)}, true});
        }
    }
    return deliverables;
}

std::string Title(const Deliverable& deliverable) {
    return deliverable.windows ? deliverable.command[1] : deliverable.name;
}

struct DirectoryCase {
    const char* title;
    std::vector<Layout> layout; // besides the good files
    std::vector<int> good;      // which of "0.tmp" to "9.tmp" are good files
    std::vector<std::string> arguments;
    // Each failing file and why; it is reported once per phase.
    std::vector<std::pair<std::string, Reason>> failing;
    bool linuxOnly = false; // a FIFO would block Wine's open
};

const std::vector<int> AllTen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

std::vector<DirectoryCase> DirectoryCases() {
    std::vector<std::pair<std::string, Reason>> none;
    for (int i = 0; i < 10; ++i) {
        none.push_back({std::to_string(i) + ".tmp", Missing});
    }
    return {
        {"all ten files", {}, AllTen, {}, {}},
        {"none of the files", {}, {}, {}, none},
        {"bad inputs",
         {{"4.tmp", Entry::Directory}, {"8.tmp", Entry::Empty}, {"9.tmp", Entry::DanglingLink}},
         {0, 1, 2, 5, 6, 7},
         {},
         {{"3.tmp", Missing}, {"4.tmp", IsDirectory}, {"9.tmp", Missing}}},
        {"a FIFO and a device",
         {{"7.tmp", Entry::Fifo}, {"8.tmp", Entry::LinkToDevZero}},
         {0, 1, 2, 3, 4, 5, 6, 9},
         {},
         {{"7.tmp", NotRegular}, {"8.tmp", NotRegular}},
         true},
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

void RunEveryDirectory(const std::vector<Deliverable>& deliverables) {
    for (const Deliverable& deliverable : deliverables) {
        for (const DirectoryCase& c : DirectoryCases()) {
            if (c.linuxOnly && deliverable.windows) {
                continue;
            }
            SCOPED_TRACE(Title(deliverable) + ": " + c.title);
            harness::ScratchDir dir;
            Prepare(dir, c);
            const auto before = harness::Snapshot(dir.path());
            std::vector<std::string> command = deliverable.command;
            command.insert(command.end(), c.arguments.begin(), c.arguments.end());

            const harness::Captured run =
                harness::RunProgram(command, dir.path(), OptionsFor(deliverable));

            for (const std::string& problem :
                 runcheck::CheckCompleteRun(runcheck::Parse(run.out))) {
                ADD_FAILURE() << problem << "\n" << run.out;
            }
            if (deliverable.windows) {
                EXPECT_NE(run.out.find("\r\n"), std::string::npos) << "lines end as on Windows";
            }
            std::string expectedErr;
            for (const auto& [name, reason] : c.failing) {
                const std::string line =
                    deliverable.name + ": " + name + ": " + Say(reason, deliverable.windows) + "\n";
                expectedErr += line + line;
            }
            EXPECT_EQ(runcheck::SortedLines(run.err), runcheck::SortedLines(expectedErr));
            EXPECT_EQ(run.status, c.failing.empty() ? 0 : 1) << run.err;
            EXPECT_EQ(harness::Snapshot(dir.path()), before) << "the directory changed";
        }
    }
}

void ReportOutputThatCannotBeWritten(const std::vector<Deliverable>& deliverables) {
    struct {
        const char* title;
        std::string stdoutPath;
        bool closeStdout;
        std::string linuxReason, windowsReason;
    } const cases[] = {
        {"full device", "/dev/full", false, "No space left on device", "Disk full"},
        {"closed standard output", "", true, "Bad file descriptor", "Invalid handle"},
    };
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    for (const Deliverable& deliverable : deliverables) {
        for (const auto& c : cases) {
            SCOPED_TRACE(Title(deliverable) + ": " + c.title);
            harness::RunOptions options = OptionsFor(deliverable);
            options.stdoutPath = c.stdoutPath;
            options.closeStdout = c.closeStdout;
            const harness::Captured run =
                harness::RunProgram(deliverable.command, dir.path(), options);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(runcheck::SortedLines(run.err),
                      (std::vector<std::string>{
                          deliverable.name + ": standard output: cannot write: " +
                          (deliverable.windows ? c.windowsReason : c.linuxReason)}));
        }
    }
}

TEST(Deliverables, RunInEveryDirectoryAsPromised) {
    RunEveryDirectory(LinuxDeliverables());
}

TEST(Deliverables, ReportOutputThatCannotBeWritten) {
    ReportOutputThatCannotBeWritten(LinuxDeliverables());
}

// The test build waits 3000 ms instead of 60000 and injects faults on request.
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
         "ReadFile:2.tmp:worker=stall:30000",
         name + ": parallel phase: cut short after 3000 ms; " + invalid + "\n",
         {"2.tmp", "3.tmp", "4.tmp"}},
        {"a thread cannot be created",
         // The serial phase's last read is slowed so that the other worker finishes first.
         "CreateThread:2=EAGAIN;ReadFile:9.tmp=stall:1000",
         name + ": parallel phase: cut short, " + invalid +
             "; the wait failed: Bad file descriptor\n" + name +
             ": thread for 5.tmp to 9.tmp: cannot create: Resource temporarily unavailable\n",
         {"5.tmp", "6.tmp", "7.tmp", "8.tmp", "9.tmp"}},
        // A failure of the parallel phase alone must count in the exit status too.
        {"a file fails for a worker only",
         "ReadFile:3.tmp:worker=EIO",
         name + ": 3.tmp: read failed after 0 of 4096 bytes: Input/output error\n",
         {}},
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
        EXPECT_EQ(parsed.outcome,
                  runcheck::ExpectedOutcome(parsed.parallelTotal, parsed.serialTotal));
        EXPECT_EQ(parsed.last, parsed.outcome);
        std::set<std::string> lost(c.lostLines.begin(), c.lostLines.end());
        for (const auto& time : parsed.parallel) {
            EXPECT_EQ(lost.count(time.name), 0u) << time.name << " was printed";
        }
        // Lines of the surviving worker can fall after the parallel total; they read as serial.
        EXPECT_EQ(parsed.parallel.size() + parsed.serial.size(), 20 - lost.size()) << run.out;
    }
}

TEST(WindowsDeliverables, RunInEveryDirectoryAsPromised) {
    REQUIRE_WINDOWS_PROGRAMS();
    RunEveryDirectory(WindowsDeliverables());
}

TEST(WindowsDeliverables, ReportOutputThatCannotBeWritten) {
    REQUIRE_WINDOWS_PROGRAMS();
    ReportOutputThatCannotBeWritten(WindowsDeliverables());
}

// Windows honours the share mode: a file that another program holds without sharing cannot be
// opened, and the run says so.
TEST(WindowsDeliverables, ReportAFileHeldByAnotherProgram) {
    REQUIRE_WINDOWS_PROGRAMS();
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    harness::ScratchDir holderOutput;
    const std::vector<std::string> environment = WineEnvironment();
    const int holder = harness::StartProgram(
        {WineLoader("x86_64"), WindowsBuild("x86_64") + "/tests/windows/hold_file.exe", "3.tmp",
         "60000"},
        dir.path(), holderOutput / "out", harness::RunOptions{environment, "", false});
    ASSERT_TRUE(harness::WaitForText(holderOutput / "out", "held", 60));
    for (const Deliverable& deliverable : WindowsDeliverables()) {
        SCOPED_TRACE(Title(deliverable));
        const harness::Captured run =
            harness::RunProgram(deliverable.command, dir.path(), OptionsFor(deliverable));
        for (const std::string& problem : runcheck::CheckCompleteRun(runcheck::Parse(run.out))) {
            ADD_FAILURE() << problem;
        }
        const std::string line = deliverable.name + ": 3.tmp: " + Say(SharingViolation, true);
        EXPECT_EQ(runcheck::SortedLines(run.err), (std::vector<std::string>{line, line}));
        EXPECT_EQ(run.status, 1);
    }
    // The comparison's unbuffered open, which empties Windows' cache, fails on the held file
    // too; it must stop there instead of running from a warm cache. Wine keeps no cache, so
    // only the path is shown here.
    for (const bool held : {true, false}) {
        if (!held) {
            harness::StopProgram(holder);
        }
        for (const std::string& architecture : RunnableArchitectures()) {
            SCOPED_TRACE(architecture + (held ? ": held" : ": free"));
            const harness::Captured compare =
                harness::RunProgram({WineLoader(architecture),
                                     WindowsBuild(architecture) + "/tools/readrace_compare.exe",
                                     "--runs", "1", "--deliverable", "nobuf", "."},
                                    dir.path(), harness::RunOptions{environment, "", false});
            EXPECT_EQ(compare.status, held ? 1 : 0) << compare.err;
            EXPECT_EQ(compare.err.find("3.tmp: cannot evict from the cache") != std::string::npos,
                      held)
                << compare.err;
        }
    }
}

// A test build that waits 300 ms. A worker still reading a large file holds it open without
// sharing when the serial phase comes to it, so that open fails; and the process ends while the
// worker still reads.
TEST(WindowsDeliverables, ReportAParallelPhaseCutShort) {
    REQUIRE_WINDOWS_PROGRAMS();
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), 4096);
    harness::RunOptions options;
    options.environment = WineEnvironment();
    for (const std::string& architecture : RunnableArchitectures()) {
        SCOPED_TRACE(architecture);
        // Under Wine a 32-bit program finds no room for a buffer of 640 MiB; 512 MiB still takes
        // over 0.4 s to read there.
        const long long size = architecture == "i686" ? 512ll << 20 : 1536ll << 20;
        ASSERT_EQ(truncate((dir / "2.tmp").c_str(), size), 0);
        const harness::Captured run = harness::RunProgram(
            {WineLoader(architecture),
             WindowsBuild(architecture) + "/tests/windows/readrace_testing.exe"},
            dir.path(), options);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(runcheck::SortedLines(run.err),
                  (std::vector<std::string>{
                      "readrace_testing: 2.tmp: " + Say(SharingViolation, true),
                      "readrace_testing: parallel phase: cut short after 300 ms; its total and the "
                      "outcome are not valid"}));
        const runcheck::Run parsed = runcheck::Parse(run.out);
        EXPECT_TRUE(parsed.malformed.empty()) << run.out;
        EXPECT_TRUE(parsed.hasParallelTotal && parsed.hasSerialTotal) << run.out;
        EXPECT_EQ(parsed.last, parsed.outcome);
        EXPECT_EQ(parsed.outcome,
                  runcheck::ExpectedOutcome(parsed.parallelTotal, parsed.serialTotal));
    }
}

// The i686 runs above happen only where 32-bit programs run here; this says whether.
TEST(WindowsDeliverables, RunTheI686ProgramsWhereTheKernelAllows) {
    REQUIRE_WINDOWS_PROGRAMS();
    if (!ThirtyTwoBitMissing().empty()) {
        GTEST_SKIP() << ThirtyTwoBitMissing();
    }
}

// Each program must run when copied alone onto a Windows machine.
TEST(WindowsDeliverables, ImportOnlyTheSystemLibraryAndTheCRuntime) {
    REQUIRE_WINDOWS_PROGRAMS();
    for (const std::string architecture : {"x86_64", "i686"}) {
        const std::pair<std::string, std::string> programs[] = {{"src", "readrace_seq"},
                                                                {"src", "readrace_nobuf"},
                                                                {"tools", "readrace_prepare"},
                                                                {"tools", "readrace_compare"}};
        for (const auto& [directory, name] : programs) {
            const std::string program =
                WindowsBuild(architecture) + "/" + directory + "/" + name + ".exe";
            SCOPED_TRACE(program);
            harness::ScratchDir here;
            const harness::Captured dump =
                harness::RunProgram({"sh", "-c",
                                     architecture + "-w64-mingw32-objdump -p '" + program +
                                         "' | sed -n 's/^[[:space:]]*DLL Name: //p' | sort"},
                                    here.path());
            EXPECT_EQ(dump.status, 0) << dump.err;
            EXPECT_EQ(dump.out, "KERNEL32.dll\nmsvcrt.dll\n");
        }
    }
}

} // namespace
