// The companions against careless and hostile use: each case lays out a scratch directory, runs
// one command there, and checks its status, its message, and that nothing it did not make was
// touched. Add a row per case; the fuzzers cover the parsers field by field.
#include "harness.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct HostileCase {
    const char* title;
    std::function<void(const std::string& dir)> setUp; // may be empty
    // "{dir}" becomes the scratch directory; "{compare}", "{prepare}", "{bench}" and "{bin}" the
    // built programs and the deliverables' directory.
    std::vector<std::string> command;
    int status;
    std::string message; // standard error must hold it; "" for a standard error left empty
    // Entries of the scratch directory that must be as they were; "*" for all of them.
    std::vector<std::string> untouched = {"*"};
    std::function<void(const std::string& dir)> check = {}; // further checks after the run
    // A signal sent once the stand-in deliverable has started (it writes bin/started).
    int signal = 0;
    std::string stdoutPath = ""; // standard output goes there, such as /dev/full
};

// Stand-ins for the deliverables in dir/bin that never end, with ten files in dir/data: each
// starts a sleep in the background, notes its pid in bin/sleeper, writes bin/started and waits.
std::function<void(const std::string&)> HangingDeliverables(bool ignoreTerm) {
    return [ignoreTerm](const std::string& dir) {
        mkdir((dir + "/bin").c_str(), 0755);
        mkdir((dir + "/data").c_str(), 0755);
        harness::MakeTenFiles(dir + "/data", 4096);
        for (const char* name : {"readrace_seq", "readrace_nobuf"}) {
            const std::string path = dir + "/bin/" + name;
            std::ofstream(path) << "#!/bin/sh\n"
                                << (ignoreTerm ? "trap '' TERM\n" : "")
                                << "sleep 1000 &\necho $! > \"${0%/*}/sleeper\"\n"
                                   "echo started > \"${0%/*}/started\"\nwait\n";
            chmod(path.c_str(), 0755);
        }
    };
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The stand-in's background sleep was ended and reaped, not left behind.
void SleeperGone(const std::string& dir) {
    std::ifstream in(dir + "/bin/sleeper");
    int pid = 0;
    ASSERT_TRUE(in >> pid);
    EXPECT_TRUE(kill(pid, 0) != 0 && errno == ESRCH) << "pid " << pid << " is still there";
}

void EmptyFolders(const std::string& dir, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        EXPECT_TRUE(harness::Snapshot(dir + "/" + name).empty()) << name;
    }
}

std::string Expand(std::string text, const std::string& dir) {
    const std::pair<std::string, std::string> names[] = {{"{dir}", dir},
                                                         {"{compare}", READRACE_COMPARE},
                                                         {"{prepare}", READRACE_PREPARE},
                                                         {"{bench}", READRACE_BENCH},
                                                         {"{bin}", READRACE_BIN}};
    for (const auto& [name, value] : names) {
        for (size_t at; (at = text.find(name)) != std::string::npos;) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

// The fields the merge reads, and nothing else, with three runs that bear out its summary;
// variants replace one piece of it.
const std::string Report =
    R"({"started_at":"2026-12-08T12:00:00Z","machine":{"host":"h","filesystem":"ext4",)"
    R"("device":"d","readrace_version":")" READRACE_VERSION R"("},"bytes_per_phase":40960,)"
    R"("calibration":{"ticks_per_second":1000},"deliverables":[{"name":"readrace_seq","runs":[)"
    R"({"parallel_total":128,"serial_total":64,"verdict":"Parallel was worse","percentage":200},)"
    R"({"parallel_total":128,"serial_total":80,"verdict":"Parallel was worse","percentage":160},)"
    R"({"parallel_total":128,"serial_total":128,"verdict":"Parallel was worse","percentage":100})"
    R"(],"summary":{"runs":3,"parallel_mb_per_s":{"median":0.32},"serial_mb_per_s":)"
    R"({"median":0.512},"parallel_worse":3,"serial_worse":0,"speedup":{"median":0.625,)"
    R"("ci95":null,"ranks":null,"verdict":"unclear","level":0.05,"margin":0.03,)"
    R"("per_look_level":0.05,"error_bound":0,"looks":1,"first_look":3,"last_look":3,)"
    R"("conclusion":"no interval"}}}]})";

// Sets up "r.json": the report with from replaced by to.
std::function<void(const std::string&)> ReportWith(const std::string& from, const std::string& to) {
    return [=](const std::string& dir) {
        std::string text = Report;
        text.replace(text.find(from), from.size(), to);
        std::ofstream(dir + "/r.json") << text;
    };
}

void RunCase(const HostileCase& c) {
    SCOPED_TRACE(c.title);
    harness::ScratchDir dir;
    if (c.setUp) {
        c.setUp(dir.path());
    }
    const std::map<std::string, std::string> before = harness::Snapshot(dir.path());
    std::vector<std::string> command;
    for (const std::string& word : c.command) {
        command.push_back(Expand(word, dir.path()));
    }
    harness::Captured run;
    if (c.signal == 0) {
        harness::RunOptions options;
        options.stdoutPath = c.stdoutPath;
        run = harness::RunProgram(command, dir.path(), options);
    } else {
        harness::ScratchDir capture;
        const int pid = harness::StartProgram(command, dir.path(), capture / "out");
        EXPECT_TRUE(harness::WaitForText(dir / "bin/started", "started", 60));
        run.status = harness::StopProgram(pid, c.signal);
        run.err = ReadText(capture / "out.err");
    }
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.message.empty()) {
        EXPECT_EQ(run.err, "") << "a row with no message expects none";
    } else {
        EXPECT_NE(run.err.find(Expand(c.message, dir.path())), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.err.find('\033'), std::string::npos) << "a raw escape reached the terminal";
    const std::map<std::string, std::string> after = harness::Snapshot(dir.path());
    for (const std::string& name : c.untouched) {
        if (name == "*") {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_EQ(after.count(name) ? after.at(name) : "", before.at(name)) << name;
        }
    }
    if (c.check) {
        c.check(dir.path());
    }
}

const HostileCase Cases[] = {
    {"a run count that is not a number", {}, {"{compare}", "--runs", "x", "{dir}"}, 2, "--runs"},
    {"a run with a total of 0: faulty, not dropped",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         mkdir((dir + "/bin").c_str(), 0755);
         for (const char* name : {"readrace_seq", "readrace_nobuf"}) {
             std::ofstream(dir + "/bin/" + name)
                 << "#!/bin/sh\nfor i in 0 5 1 6 2 7 3 8 4 9; do echo \"* $i.tmp 1\"; done\n"
                    "echo 'Parallel total time: 10'\nfor i in 0 1 2 3 4 5 6 7 8 9; do echo "
                    "\"* $i.tmp 0\"; done\necho 'Serial total time: 0'\necho 'Outcome: "
                    "Parallel was worse. No percentage: serial total is 0.'\n";
             chmod((dir + "/bin/" + name).c_str(), 0755);
         }
     },
     {"{compare}", "--runs", "6", "--no-evict", "--bin", "{dir}/bin", "{dir}"},
     1,
     "readrace_seq, run 1: a total that is not positive (parallel 10, serial 0)"},
    {"a program that prints terminal controls, shown escaped",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         mkdir((dir + "/bin").c_str(), 0755);
         std::ofstream(dir + "/bin/readrace_seq")
             << "#!/bin/sh\nprintf '\\033]0;OWNED\\007\\n'\nseq 22\nprintf '\\033[2J\\n' >&2\n";
         chmod((dir + "/bin/readrace_seq").c_str(), 0755);
     },
     {"{compare}", "--runs", "1", "--no-evict", "--deliverable", "seq", "--bin", "{dir}/bin",
      "{dir}"},
     1,
     "\\033]0;OWNED\\a"},
    {"a deliverable that is not executable",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         mkdir((dir + "/bin").c_str(), 0755);
         std::ofstream(dir + "/bin/readrace_seq") << "#!/bin/sh\n";
     },
     {"{compare}", "--runs", "1", "--no-evict", "--deliverable", "seq", "--bin", "{dir}/bin",
      "{dir}"},
     1,
     "{dir}/bin/readrace_seq: cannot start it: Permission denied"},
    {"a deliverable whose interpreter is missing",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         mkdir((dir + "/bin").c_str(), 0755);
         std::ofstream(dir + "/bin/readrace_seq") << "#!/nonexistent\n";
         chmod((dir + "/bin/readrace_seq").c_str(), 0755);
     },
     {"{compare}", "--runs", "1", "--no-evict", "--deliverable", "seq", "--bin", "{dir}/bin",
      "{dir}"},
     1,
     "{dir}/bin/readrace_seq: cannot start it: its interpreter /nonexistent: No such file"},
    {"a deliverable ended by a signal",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         mkdir((dir + "/bin").c_str(), 0755);
         std::ofstream(dir + "/bin/readrace_seq") << "#!/bin/sh\nkill -KILL $$\n";
         chmod((dir + "/bin/readrace_seq").c_str(), 0755);
     },
     {"{compare}", "--runs", "1", "--no-evict", "--deliverable", "seq", "--bin", "{dir}/bin",
      "{dir}"},
     1,
     "readrace_seq, run 1: ended by signal 9; it wrote nothing on standard error"},
    {"a sweep beside a folder, a file and a link of the names it once used",
     [](const std::string& dir) {
         mkdir((dir + "/target").c_str(), 0755);
         mkdir((dir + "/readrace-4096B").c_str(), 0755);
         std::ofstream(dir + "/readrace-4096B/mine") << "mine";
         std::ofstream(dir + "/readrace-8192B") << "mine";
         symlink("target", (dir + "/readrace-16384B").c_str());
     },
     {"{compare}", "--runs", "1", "--deliverable", "nobuf", "--sizes", "4KiB,8KiB,16KiB", "{dir}"},
     0,
     "warning: with --runs 1 no 95% interval can exclude anything",
     {"*"},
     [](const std::string& dir) {
         EmptyFolders(dir, {"target"});
         EXPECT_EQ(ReadText(dir + "/readrace-4096B/mine"), "mine");
     }},
    {"readrace_bench run beside a bench-stdout of the user's",
     [](const std::string& dir) {
         mkdir((dir + "/work").c_str(), 0755);
         std::ofstream(dir + "/bench-stdout") << "mine";
     },
     {"sh", "-c", "cd {dir}/work && exec {bench} --quick --runs 1 --dir {dir} >/dev/null"},
     0,
     ""},
    {"a comparison in a directory that another run has locked",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         std::ofstream(dir + "/.readrace.lock");
     },
     {"flock", "{dir}/.readrace.lock", "{compare}", "--runs", "1", "{dir}"},
     2,
     "{dir}: another readrace run is using this directory"},
    {"a prepare in a directory that another run has locked",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         std::ofstream(dir + "/.readrace.lock");
     },
     {"flock", "{dir}/.readrace.lock", "{prepare}", "--force", "--size", "8KiB", "{dir}"},
     2,
     "{dir}: another readrace run is using this directory"},
    {"a deliverable that never ends",
     HangingDeliverables(false),
     {"{compare}", "--bin", "{dir}/bin", "--deliverable", "seq", "--run-timeout", "0.5",
      "{dir}/data"},
     1,
     "readrace_seq, run 1: still running after the --run-timeout of 0.5 s",
     {"data"},
     SleeperGone},
    {"a deliverable that never ends and ignores SIGTERM",
     HangingDeliverables(true),
     {"{compare}", "--bin", "{dir}/bin", "--deliverable", "nobuf", "--run-timeout", "0.5",
      "{dir}/data"},
     1,
     "readrace_nobuf, run 1: still running after the --run-timeout of 0.5 s",
     {"data"},
     SleeperGone},
    {"SIGTERM while a deliverable that ignores it runs",
     HangingDeliverables(true),
     {"{compare}", "--bin", "{dir}/bin", "--deliverable", "seq", "{dir}/data"},
     128 + SIGTERM,
     "interrupted during readrace_seq, run 1",
     {"data"},
     SleeperGone,
     SIGTERM},
    {"SIGHUP in a sweep",
     [](const std::string& dir) {
         HangingDeliverables(true)(dir);
         mkdir((dir + "/sweep").c_str(), 0755);
         mkdir((dir + "/tmp").c_str(), 0755);
     },
     {"env", "TMPDIR={dir}/tmp", "{compare}", "--bin", "{dir}/bin", "--deliverable", "seq",
      "--sizes", "4KiB", "{dir}/sweep"},
     128 + SIGHUP,
     "interrupted during readrace_seq, run 1",
     {"data", "sweep", "tmp"},
     [](const std::string& dir) {
         SleeperGone(dir);
         EmptyFolders(dir, {"sweep", "tmp"});
     },
     SIGHUP},
    {"an empty file among the ten",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         truncate((dir + "/3.tmp").c_str(), 0);
     },
     {"{compare}", "--runs", "1", "{dir}"},
     2,
     "{dir}/3.tmp: empty"},
    {"files of unequal size",
     [](const std::string& dir) {
         harness::MakeTenFiles(dir, 4096);
         truncate((dir + "/3.tmp").c_str(), 2048);
     },
     {"{compare}", "--runs", "1", "--deliverable", "seq", "{dir}"},
     0,
     "warning: {dir}/3.tmp: holds 2 KiB, 0.tmp 4 KiB"},
    {"empty files to prepare", {}, {"{prepare}", "--size", "0MiB", "{dir}"}, 2, "size 0"},
    {"a time limit that is not a number",
     {},
     {"{compare}", "--max-seconds", "nan", "{dir}"},
     2,
     "--max-seconds: takes a finite number"},
    {"a level that is not a number",
     {},
     {"{compare}", "--level", "nan", "{dir}"},
     2,
     "--level: takes a number from 0.0001 to 0.5, not 'nan'"},
    {"an endless time limit",
     {},
     {"{compare}", "--run-timeout", "inf", "{dir}"},
     2,
     "--run-timeout: takes a finite number"},
    {"an empty list of sizes",
     {},
     {"{compare}", "--sizes", "", "{dir}"},
     2,
     "--sizes: give one size or more"},
    {"a report whose machine is empty",
     ReportWith(R"({"host":"h","filesystem":"ext4","device":"d",)", "{"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "r.json: not a report of readrace_compare: /machine/host is missing"},
    {"a report whose interval is empty",
     ReportWith(R"("ci95":null)", R"("ci95":[])"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/speedup/ci95 is not a list that is not empty"},
    {"a report whose sweep holds an empty entry",
     ReportWith(R"(,"bytes_per_phase")", R"(,"sweep":[{}],"bytes_per_phase")"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/sweep/0/size_bytes is missing"},
    {"a speed-up without its median",
     ReportWith(R"("median":0.625,)", ""),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/speedup/median is missing"},
    {"a report of zero runs",
     ReportWith(R"("runs":3)", R"("runs":0)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/runs is not a whole number from 1"},
    {"a report of negative bytes",
     ReportWith("40960", "-10"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/bytes_per_phase is not a whole number from 1"},
    {"a report of a future version",
     ReportWith(R"(":")" READRACE_VERSION, R"(":"999.0.0)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "r.json: a report of readrace 999.0.0, which this version"},
    {"a report with 70,000 nested arrays",
     ReportWith("{", "{\"x\":" + std::string(70000, '[') + std::string(70000, ']') + ","),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "r.json: values nested deeper than 64 levels"},
    {"the same report twice",
     ReportWith("", ""),
     {"{compare}", "--merge", "{dir}/r.json", "{dir}/r.json"},
     2,
     "r.json: the same report as {dir}/r.json"},
    {"a verdict its runs do not give",
     ReportWith(R"("verdict":"unclear")", R"("verdict":"parallel")"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "r.json: /deliverables/0/summary/speedup/verdict says parallel; its 3 runs give unclear"},
    {"a median its runs do not give",
     ReportWith(R"("median":0.625)", R"("median":3.0)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/speedup/median says 3; its 3 runs give 0.625"},
    {"a rate its runs do not give",
     ReportWith(R"("median":0.512)", R"("median":5.12)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/serial_mb_per_s/median says 5.12; its 3 runs give 0.512"},
    {"a summary whose runs are null",
     ReportWith(R"("runs":[)", R"("runs":null,"x":[)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/runs is not a list of runs: nothing bears out the summary of 3 runs"},
    {"a summary whose runs are empty",
     ReportWith(R"("runs":[)", R"("runs":[],"x":[)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/runs is empty"},
    {"a summary of more runs than there are",
     ReportWith(R"("runs":3)", R"("runs":4)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/summary/runs says 4; its runs hold 3"},
    {"a run whose outcome line disagrees with its totals",
     ReportWith(R"("percentage":160)", R"("percentage":161)"),
     {"{compare}", "--merge", "{dir}/r.json"},
     2,
     "/deliverables/0/runs/1/percentage says 161; its totals (parallel 128, serial 80) give "
     "160"},
    {"a directory to check", {}, {"{compare}", "--check", "{dir}"}, 2, "{dir}: Is a directory"},
    {"an unknown key to group by",
     ReportWith("", ""),
     {"{compare}", "--merge", "--group-by", "fs,disk", "{dir}/r.json"},
     2,
     "--group-by: 'disk' is not host, fs, device, size or program"},
    {"a FIFO to merge, which must not be waited on",
     [](const std::string& dir) {
         harness::MakeEntry(dir, {"fifo", harness::Entry::Fifo});
     },
     {"{compare}", "--merge", "{dir}/fifo"},
     2,
     "fifo: not a regular file"},
    {"a directory to merge", {}, {"{compare}", "--merge", "{dir}"}, 2, "{dir}: Is a directory"},
    {"merged text into a full device",
     ReportWith("", ""),
     {"{compare}", "--merge", "{dir}/r.json"},
     1,
     "readrace_compare: standard output: No space left on device",
     {"*"},
     {},
     0,
     "/dev/full"},
    {"merged JSON into a full device",
     ReportWith("", ""),
     {"{compare}", "--merge", "--json", "{dir}/r.json"},
     1,
     "readrace_compare: standard output: No space left on device",
     {"*"},
     {},
     0,
     "/dev/full"},
    {"a chart into a missing folder, named before any run",
     {},
     {"{compare}", "--svg", "{dir}/none/x.svg", "{dir}"},
     2,
     "{dir}/none/x.svg: No such file or directory"},
    {"runs as CSV into a missing folder, named before any run",
     {},
     {"{compare}", "--csv", "{dir}/none/x.csv", "{dir}"},
     2,
     "{dir}/none/x.csv: No such file or directory"},
    {"a Markdown table onto a directory",
     [](const std::string& dir) {
         harness::MakeEntry(dir, {"md", harness::Entry::Directory});
     },
     {"{compare}", "--markdown", "{dir}/md", "{dir}"},
     2,
     "{dir}/md: Is a directory"},
    {"terminal controls in a directory's name",
     {},
     {"{compare}", "{dir}/\033]0;OWNED\a\033[2J"},
     2,
     "/\\033]0;OWNED\\a\\033[2J: not a directory"},
    // Every tool's message about DIR shows a name's controls escaped.
    {"readrace_prepare into a directory of that name that holds the files",
     [](const std::string& dir) {
         mkdir((dir + "/x\033]0;OWNED\ay").c_str(), 0755);
         harness::MakeTenFiles(dir + "/x\033]0;OWNED\ay", 4096);
     },
     {"{prepare}", "--size", "4KiB", "{dir}/x\033]0;OWNED\ay"},
     2,
     "{dir}/x\\033]0;OWNED\\ay/0.tmp: already exists"},
    {"files of unequal size in a directory of that name",
     [](const std::string& dir) {
         mkdir((dir + "/x\033]0;OWNED\ay").c_str(), 0755);
         harness::MakeTenFiles(dir + "/x\033]0;OWNED\ay", 4096);
         truncate((dir + "/x\033]0;OWNED\ay/3.tmp").c_str(), 2048);
     },
     {"{compare}", "--runs", "1", "--deliverable", "seq", "{dir}/x\033]0;OWNED\ay"},
     0,
     "warning: {dir}/x\\033]0;OWNED\\ay/3.tmp: holds 2 KiB"},
    {"a sweep in a locked directory of that name",
     [](const std::string& dir) {
         mkdir((dir + "/x\033]0;OWNED\ay").c_str(), 0755);
         std::ofstream(dir + "/x\033]0;OWNED\ay/.readrace.lock");
     },
     {"flock", "{dir}/x\033]0;OWNED\ay/.readrace.lock", "{compare}", "--sizes", "4KiB",
      "{dir}/x\033]0;OWNED\ay"},
     2,
     "{dir}/x\\033]0;OWNED\\ay: another readrace run is using this directory"},
    {"readrace_bench with a file of that name as --dir",
     [](const std::string& dir) { std::ofstream(dir + "/x\033]0;OWNED\ay"); },
     {"{bench}", "--quick", "--runs", "1", "--dir", "{dir}/x\033]0;OWNED\ay"},
     1,
     "{dir}/x\\033]0;OWNED\\ay: cannot make a folder there"},
    // And about a file's name: the bench takes none but --dir's, which the row above covers.
    {"a report of that name to merge that is not JSON",
     [](const std::string& dir) { std::ofstream(dir + "/x\033]0;OWNED\ay.json") << "no"; },
     {"{compare}", "--merge", "{dir}/x\033]0;OWNED\ay.json"},
     2,
     "{dir}/x\\033]0;OWNED\\ay.json: not a report of readrace_compare: not JSON"},
    {"a report of that name to check that is not JSON",
     [](const std::string& dir) { std::ofstream(dir + "/x\033]0;OWNED\ay.json") << "no"; },
     {"{compare}", "--check", "{dir}/x\033]0;OWNED\ay.json"},
     2,
     "{dir}/x\\033]0;OWNED\\ay.json: not a report of readrace_compare: not JSON"},
    {"--svg of that name in a missing folder",
     {},
     {"{compare}", "--svg", "{dir}/none/x\033]0;OWNED\ay.svg", "{dir}"},
     2,
     "{dir}/none/x\\033]0;OWNED\\ay.svg: No such file or directory"},
    {"--html of that name in a missing folder",
     {},
     {"{compare}", "--html", "{dir}/none/x\033]0;OWNED\ay.html", "{dir}"},
     2,
     "{dir}/none/x\\033]0;OWNED\\ay.html: No such file or directory"},
    {"--markdown of that name in a missing folder",
     {},
     {"{compare}", "--markdown", "{dir}/none/x\033]0;OWNED\ay.md", "{dir}"},
     2,
     "{dir}/none/x\\033]0;OWNED\\ay.md: No such file or directory"},
    {"readrace_prepare onto a file of that name",
     [](const std::string& dir) { std::ofstream(dir + "/x\033]0;OWNED\ay"); },
     {"{prepare}", "--size", "4KiB", "{dir}/x\033]0;OWNED\ay"},
     2,
     "{dir}/x\\033]0;OWNED\\ay: not a directory"},
    // A wrong option value is quoted back in the parser's words, escaped as well.
    {"readrace_compare with controls in --runs",
     {},
     {"{compare}", "--runs", "x\033]0;OWNED\a", "{dir}"},
     2,
     "--runs: takes auto or a whole number from 1 to 100000, not 'x\\033]0;OWNED\\a'"},
    {"readrace_prepare with controls in --size",
     {},
     {"{prepare}", "--size", "x\033]0;OWNED\a", "{dir}"},
     2,
     "x\\033]0;OWNED\\a"},
    {"readrace_bench with a fio that fails",
     [](const std::string& dir) {
         mkdir((dir + "/bin").c_str(), 0755);
         std::ofstream(dir + "/bin/fio") << "#!/bin/sh\nexit 3\n";
         chmod((dir + "/bin/fio").c_str(), 0755);
     },
     {"env", "PATH={dir}/bin:/usr/bin:/bin", "{bench}", "--quick", "--runs", "1", "--dir",
      "{dir}/d"},
     1,
     "readrace_bench: fio: exit status 3; the verdicts cannot be compared",
     {"bin"}},
    {"readrace_bench's figures into a full device",
     {},
     {"{bench}", "--quick", "--runs", "1", "--dir", "{dir}"},
     1,
     "readrace_bench: standard output: No space left on device",
     {"*"},
     {},
     0,
     "/dev/full"},
    // Reading reports runs nothing: an option only a run takes is refused, not ignored.
    {"--merge with --runs",
     {},
     {"{compare}", "--merge", "--runs", "3", "r.json"},
     2,
     "readrace_compare: --runs excludes --merge"},
    {"--check with --label",
     {},
     {"{compare}", "--check", "--label", "x", "r.json"},
     2,
     "readrace_compare: --check excludes --label"},
    {"--group-by without --merge",
     {},
     {"{compare}", "--group-by", "host", "r.json"},
     2,
     "readrace_compare: --group-by requires --merge"},
    {"readrace_bench with controls in --runs",
     {},
     {"{bench}", "--runs", "x\033]0;OWNED\a"},
     2,
     "x\\033]0;OWNED\\a"},
};

// A failing case is named by its title, not dumped as bytes.
void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.title;
}

// One case a test, so that a case can be picked with --gtest_filter and cases run side by side.
class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, NamesTheFaultAndTouchesNothingElse) {
    RunCase(GetParam());
}

// The row's number and its title in the letters a test's name may hold.
std::string CaseName(const testing::TestParamInfo<HostileCase>& info) {
    std::string name = "case" + std::to_string(info.index) + "_";
    for (const char* c = info.param.title; *c != '\0'; ++c) {
        name += std::isalnum((unsigned char)*c) ? *c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, Hostile, testing::ValuesIn(Cases), CaseName);

} // namespace
