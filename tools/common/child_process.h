// Running one program as a child: in a directory, with its output in files, stopped with all it
// starts when it runs too long or this process is interrupted.
#pragma once

#include <string>
#include <vector>

namespace tools {

// The program, found on the PATH where it names no folder, then its arguments; run in directory
// with nothing on its standard input, and its standard output and error in two new files (what
// is at those paths is replaced: they belong to the caller's own fresh directory).
struct ChildRun {
    std::vector<std::string> command;
    std::string directory;
    std::string outPath;
    std::string errPath;
    double timeoutSeconds = 0;
};

// How the run ended. Read interrupt first (then nothing else may be set), then unstarted, then
// timedOut, then signal and exitStatus.
struct ChildResult {
    int interrupt = 0; // an interrupt (as PendingInterrupt) that came before or during the run
    // Why the program could not be started, or not held under supervision, in the system's
    // words ("Permission denied"); "" when it ran.
    std::string unstarted;
    bool timedOut = false; // it ran past timeoutSeconds and was stopped
    int signal = 0;        // the signal that ended it (never on Windows), else 0
    int exitStatus = -1;   // its exit status where it ended by itself, else -1
    // Its peak memory in KiB (getrusage's resident ru_maxrss; on Windows the peak committed
    // memory of the largest process in its job), and its processor time, user and system; -1
    // where unknown.
    long long peakKiB = -1;
    double cpuSeconds = -1;
};

// Stopping asks first (SIGTERM; Ctrl-Break on Windows), then, after StopGraceSeconds, ends the
// program and all it started outright; either way they are waited for.
constexpr double StopGraceSeconds = 2;
ChildResult RunChild(const ChildRun& run);

} // namespace tools
