// The companions against careless and hostile use: each case lays out a scratch directory, runs
// one command there, and checks its status, its message, and that nothing it did not make was
// touched. Add a row per case; the fuzzers cover the parsers field by field.
#include "harness.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

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
    const harness::Captured run = harness::RunProgram(command, dir.path());
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
    };
    for (const HostileCase& c : cases) {
        RunCase(c);
    }
}

} // namespace
