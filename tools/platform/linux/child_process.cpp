// Running a child program on Linux: forked into a process group of its own, watched by polling,
// and reaped here with all it leaves behind.
#include "common/child_process.h"

#include "common/file_ops.h"
#include "common/interrupts.h"
#include "platform/linux/interrupt_signals.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tools {

namespace {

// What the program starts and leaves behind comes to this process, to be reaped here; an
// ignored SIGCHLD, inherited, would have the system reap it unseen instead. Both are the whole
// process's, so they are set once.
void AdoptOrphansOnce() {
    static const bool adopted = [] {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        signal(SIGCHLD, SIG_DFL);
        return true;
    }();
    (void)adopted;
}

// The child's standard input, output and error.
struct ChildFiles {
    int in = -1;
    int out = -1;
    int err = -1;
};

std::string OpenOutputFile(const std::string& path, int* file) {
    unlink(path.c_str());
    const std::string problem = CreateNewFile(path, file);
    return problem.empty() ? "" : "cannot make " + path + ": " + problem;
}

std::string OpenChildFiles(const ChildRun& run, ChildFiles* files) {
    files->in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (files->in < 0) {
        return "cannot open /dev/null: " + LastErrorText();
    }
    const std::string problem = OpenOutputFile(run.outPath, &files->out);
    return problem.empty() ? OpenOutputFile(run.errPath, &files->err) : problem;
}

void CloseChildFiles(const ChildFiles& files) {
    for (const int file : {files.in, files.out, files.err}) {
        if (file >= 0) {
            close(file);
        }
    }
}

// Where the child failed before the program ran, sent up the report pipe with errno.
enum StartStep : int { EnterDirectory = 1, Execute = 2 };

[[noreturn]] void FailInChild(int report, StartStep step) {
    const int failure[2] = {step, errno};
    if (write(report, failure, sizeof failure) < 0) {
        // The parent then sees exit status 127 alone.
    }
    _exit(127);
}

// In the forked child, which allocates nothing. The report pipe closes as the program starts,
// so the parent reads nothing from it then.
[[noreturn]] void StartInChild(const ChildRun& run, char* const* arguments, bool onPath,
                               const ChildFiles& files, int report) {
    // A group of its own, so that one signal reaches all it starts.
    setpgid(0, 0);
    const sigset_t signals = InterruptSignals();
    sigprocmask(SIG_UNBLOCK, &signals, nullptr);
    if (chdir(run.directory.c_str()) != 0) {
        FailInChild(report, EnterDirectory);
    }
    dup2(files.in, 0);
    dup2(files.out, 1);
    dup2(files.err, 2);
    // Nothing else this process holds reaches the program.
    close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
    if (onPath) {
        execvp(arguments[0], arguments);
    } else {
        execv(arguments[0], arguments);
    }
    FailInChild(report, Execute);
}

// execve says "No such file or directory" also for a program that is there when the
// interpreter its first line names is not: name that one.
std::string MissingInterpreter(const std::string& program) {
    char head[256] = {};
    const int file = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = file >= 0 ? read(file, head, sizeof head - 1) : -1;
    if (file >= 0) {
        close(file);
    }
    if (got < 2 || head[0] != '#' || head[1] != '!') {
        return "";
    }
    const std::string line(head + 2, strcspn(head + 2, "\n"));
    const size_t start = line.find_first_not_of(" \t");
    return start == std::string::npos
               ? ""
               : line.substr(start, line.find_first_of(" \t", start) - start);
}

// What the child sent up the report pipe: "" when the program started, else why it did not.
std::string ReadStartFailure(int report, const ChildRun& run) {
    int failure[2] = {0, 0};
    ssize_t got;
    while ((got = read(report, failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    if (got != (ssize_t)sizeof failure) {
        return "";
    }
    const std::string reason = ErrorText(failure[1]);
    if (failure[0] == EnterDirectory) {
        return "cannot enter " + run.directory + ": " + reason;
    }
    const std::string interpreter = failure[1] == ENOENT ? MissingInterpreter(run.command[0]) : "";
    return interpreter.empty() ? reason : "its interpreter " + interpreter + ": " + reason;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Waits for the child to end, stopping its group on a timeout or an interrupt. The deliverable
// times itself, so this poll's few milliseconds are in no figure.
void Supervise(pid_t child, double timeoutSeconds, ChildResult* result) {
    const sigset_t signals = InterruptSignals();
    const timespec poll = {0, 5 * 1000 * 1000};
    const auto start = std::chrono::steady_clock::now();
    double killAt = -1; // seconds from start; >= 0 once asked to stop
    for (;;) {
        // Not reaped yet, so that the group's id stays its own until the group is gone.
        siginfo_t ended = {};
        const int waited = waitid(P_PID, (id_t)child, &ended, WEXITED | WNOHANG | WNOWAIT);
        if ((waited == 0 && ended.si_pid == child) || (waited < 0 && errno != EINTR)) {
            return;
        }
        const int signal = sigtimedwait(&signals, nullptr, &poll);
        const double seconds = SecondsSince(start);
        const bool stopping = killAt >= 0;
        if (signal > 0 && result->interrupt == 0) {
            result->interrupt = signal;
        }
        if (!stopping && (signal > 0 || seconds >= timeoutSeconds)) {
            result->timedOut = signal <= 0;
            kill(-child, SIGTERM);
            killAt = seconds + StopGraceSeconds;
        } else if (stopping && (signal > 0 || seconds >= killAt)) {
            // A program that ignores SIGTERM, or a second interrupt, gets no more time.
            kill(-child, SIGKILL);
        }
    }
}

void Reap(pid_t child, ChildResult* result) {
    // Whatever the program left running in its group goes with it.
    kill(-child, SIGKILL);
    int status = 0;
    rusage usage = {};
    pid_t reaped;
    while ((reaped = wait4(child, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (reaped == child) {
        result->peakKiB = usage.ru_maxrss;
        result->cpuSeconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                             (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        result->exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    while (waitpid(-child, nullptr, 0) > 0 || errno == EINTR) {
    }
}

} // namespace

ChildResult RunChild(const ChildRun& run) {
    ChildResult result;
    result.interrupt = PendingInterrupt();
    if (result.interrupt != 0) {
        return result;
    }
    AdoptOrphansOnce();
    ChildFiles files;
    int report[2] = {-1, -1};
    result.unstarted = OpenChildFiles(run, &files);
    if (result.unstarted.empty() && pipe2(report, O_CLOEXEC) != 0) {
        result.unstarted = "cannot make a pipe: " + LastErrorText();
    }
    // Built before the fork, so that the child allocates nothing.
    std::vector<char*> arguments;
    for (const std::string& argument : run.command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const bool onPath = run.command[0].find('/') == std::string::npos;
    const pid_t child = result.unstarted.empty() ? fork() : -1;
    if (child == 0) {
        StartInChild(run, arguments.data(), onPath, files, report[1]);
    }
    if (child < 0 && result.unstarted.empty()) {
        result.unstarted = "cannot start a process: " + LastErrorText();
    }
    CloseChildFiles(files);
    if (report[1] >= 0) {
        close(report[1]);
    }
    if (child > 0) {
        // Both sides set the group, whichever runs first.
        setpgid(child, child);
        result.unstarted = ReadStartFailure(report[0], run);
        if (result.unstarted.empty()) {
            Supervise(child, run.timeoutSeconds, &result);
        }
        Reap(child, &result);
    }
    if (report[0] >= 0) {
        close(report[0]);
    }
    if (!result.unstarted.empty() || result.timedOut) {
        result.exitStatus = -1;
    }
    if (result.interrupt == 0) {
        result.interrupt = PendingInterrupt();
    }
    return result;
}

} // namespace tools
