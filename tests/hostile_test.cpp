// The companions against careless and hostile use: each case lays out a scratch directory, runs
// one command there, and checks its status, its message, and that nothing it did not make was
// touched. Add a row per case; the fuzzers cover the parsers field by field.
#include "harness.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace {

struct HostileCase {
    const char* title;
    std::function<void(const std::string& dir)> setUp; // may be empty
    // "{dir}" becomes the scratch directory; "{compare}", "{prepare}", "{bench}" and "{bin}" the
    // built programs and the deliverables' directory.
    std::vector<std::string> command;
    int status;
    std::string message; // standard error must hold it; "" for no check
    // Entries of the scratch directory that must be as they were; "*" for all of them.
    std::vector<std::string> untouched = {"*"};
    std::string stdoutPath = ""; // standard output goes there, such as /dev/full
};

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

// The fields the merge reads, and nothing else; variants replace one piece of it.
const std::string Report =
    R"({"started_at":"2026-12-08T12:00:00Z","machine":{"host":"h","filesystem":"ext4",)"
    R"("device":"d","readrace_version":")" READRACE_VERSION R"("},"bytes_per_phase":40960,)"
    R"("deliverables":[{"name":"readrace_seq","summary":{"runs":3,"parallel_mb_per_s":)"
    R"({"median":100},"serial_mb_per_s":{"median":90},"speedup":{"median":0.9,"ci95":[0.8,)"
    R"(1.1],"conclusion":"no clear difference"}}}]})";

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
    harness::RunOptions options;
    options.stdoutPath = c.stdoutPath;
    const harness::Captured run = harness::RunProgram(command, dir.path(), options);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(Expand(c.message, dir.path())), std::string::npos) << run.err;
    const std::map<std::string, std::string> after = harness::Snapshot(dir.path());
    for (const std::string& name : c.untouched) {
        if (name == "*") {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_EQ(after.count(name) ? after.at(name) : "", before.at(name)) << name;
        }
    }
}

TEST(Hostile, EveryCaseNamesTheFaultAndTouchesNothingElse) {
    const HostileCase cases[] = {
        {"a run count that is not a number",
         {},
         {"{compare}", "--runs", "x", "{dir}"},
         2,
         "--runs"},
        {"a report whose machine is empty",
         ReportWith(R"({"host":"h","filesystem":"ext4","device":"d",)", "{"),
         {"{compare}", "--merge", "{dir}/r.json"},
         2,
         "r.json: not a report of readrace_compare: /machine/host is missing"},
        {"a report whose interval is empty",
         ReportWith("[0.8,1.1]", "[]"),
         {"{compare}", "--merge", "{dir}/r.json"},
         2,
         "/deliverables/0/summary/speedup/ci95 is not a list that is not empty"},
        {"a report whose sweep holds an empty entry",
         ReportWith(R"(,"bytes_per_phase")", R"(,"sweep":[{}],"bytes_per_phase")"),
         {"{compare}", "--merge", "{dir}/r.json"},
         2,
         "/sweep/0/size_bytes is missing"},
        {"a speed-up without its median",
         ReportWith(R"("median":0.9,)", ""),
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
         "/dev/full"},
        {"merged JSON into a full device",
         ReportWith("", ""),
         {"{compare}", "--merge", "--json", "{dir}/r.json"},
         1,
         "readrace_compare: standard output: No space left on device",
         {"*"},
         "/dev/full"},
        {"a chart into a missing folder, named before any run",
         {},
         {"{compare}", "--svg", "{dir}/none/x.svg", "{dir}"},
         2,
         "{dir}/none/x.svg: No such file or directory"},
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
    };
    for (const HostileCase& c : cases) {
        RunCase(c);
    }
}

} // namespace
