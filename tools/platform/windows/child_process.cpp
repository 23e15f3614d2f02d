// Running a child program on Windows: in a job object, which holds whatever it starts too, so
// that one call ends them all; and in a process group of its own, which Ctrl-Break reaches
// alone.
#include "common/child_process.h"

#include "common/file_ops.h"
#include "common/interrupts.h"

#include <windows.h>

namespace tools {

namespace {

// A new file for the program's output, which it inherits.
HANDLE CreateOutputFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    DeleteFileA(path.c_str());
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The child's standard input, output and error, in files[0..2].
std::string OpenChildFiles(const ChildRun& run, HANDLE files[3]) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    files[0] = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (files[0] == INVALID_HANDLE_VALUE) {
        return "cannot open NUL: " + LastErrorText();
    }
    files[1] = CreateOutputFile(run.outPath);
    if (files[1] == INVALID_HANDLE_VALUE) {
        return "cannot make " + run.outPath + ": " + LastErrorText();
    }
    files[2] = CreateOutputFile(run.errPath);
    if (files[2] == INVALID_HANDLE_VALUE) {
        return "cannot make " + run.errPath + ": " + LastErrorText();
    }
    return "";
}

// A job that ends all it holds when its last handle closes.
std::string MakeJob(HANDLE* job) {
    *job = CreateJobObjectA(nullptr, nullptr);
    if (*job == nullptr) {
        return "cannot make a job object: " + LastErrorText();
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(*job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        return "cannot set up a job object: " + LastErrorText();
    }
    return "";
}

// One argument as the C runtime splits a command line: in quotes, with each quote escaped and
// the backslashes before a quote, or before the closing one, doubled.
std::string QuotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::string CommandLine(const std::vector<std::string>& command) {
    // The program's name ends at the next quote, with no escapes: no Windows name holds one.
    std::string commandLine = "\"" + command[0] + "\"";
    for (size_t i = 1; i < command.size(); ++i) {
        // Two appends, not `" " + ...`: GCC 12 warns falsely of overlap (-Wrestrict) on that.
        commandLine += ' ';
        commandLine += QuotedArgument(command[i]);
    }
    return commandLine;
}

// Started suspended until it is in the job, so that nothing it starts escapes; a program that
// cannot be put in the job is ended before it ran, as one that could not start.
std::string StartInJob(const ChildRun& run, const HANDLE files[3], HANDLE job,
                       PROCESS_INFORMATION* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = files[0];
    startup.hStdOutput = files[1];
    startup.hStdError = files[2];
    std::string commandLine = CommandLine(run.command);
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr, run.directory.c_str(),
                        &startup, process)) {
        // Some of the system's texts name the program only as "%1".
        std::string reason = LastErrorText();
        const size_t insert = reason.find("%1");
        return insert == std::string::npos ? reason : reason.replace(insert, 2, run.command[0]);
    }
    if (!AssignProcessToJobObject(job, process->hProcess)) {
        const std::string reason = "cannot hold it in a job object: " + LastErrorText();
        TerminateProcess(process->hProcess, 1);
        WaitForSingleObject(process->hProcess, INFINITE);
        CloseHandle(process->hThread);
        CloseHandle(process->hProcess);
        *process = {};
        return reason;
    }
    ResumeThread(process->hThread);
    CloseHandle(process->hThread);
    return "";
}

// Waits for the program to end, stopping its job on a timeout or an interrupt.
void Supervise(const PROCESS_INFORMATION& process, HANDLE job, double timeoutSeconds,
               ChildResult* result) {
    const ULONGLONG start = GetTickCount64();
    const double timeoutMs = timeoutSeconds * 1000;
    double killAt = -1; // milliseconds from start; >= 0 once asked to stop
    while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        const int signal = PendingInterrupt();
        const double elapsed = (double)(GetTickCount64() - start);
        if (signal != 0 && result->interrupt == 0) {
            result->interrupt = signal;
        }
        if (killAt < 0 && (signal != 0 || elapsed >= timeoutMs)) {
            result->timedOut = signal == 0;
            GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId);
            killAt = elapsed + StopGraceSeconds * 1000;
        } else if (killAt >= 0 && (signal != 0 || elapsed >= killAt)) {
            TerminateJobObject(job, 1);
        }
    }
}

// The program's exit code and what its job used, then whatever it left running goes with it.
void Collect(const PROCESS_INFORMATION& process, HANDLE job, ChildResult* result) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) {
        result->exitStatus = (int)code;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION used = {};
    if (QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &used, sizeof used,
                                  nullptr)) {
        result->peakKiB = (long long)(used.PeakProcessMemoryUsed / 1024);
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION times = {};
    if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &times, sizeof times,
                                  nullptr)) {
        // In units of 100 ns.
        result->cpuSeconds =
            (double)(times.TotalUserTime.QuadPart + times.TotalKernelTime.QuadPart) / 1e7;
    }
    TerminateJobObject(job, 1);
}

} // namespace

ChildResult RunChild(const ChildRun& run) {
    ChildResult result;
    result.interrupt = PendingInterrupt();
    if (result.interrupt != 0) {
        return result;
    }
    HANDLE files[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    HANDLE job = nullptr;
    PROCESS_INFORMATION process = {};
    result.unstarted = OpenChildFiles(run, files);
    if (result.unstarted.empty()) {
        result.unstarted = MakeJob(&job);
    }
    if (result.unstarted.empty()) {
        result.unstarted = StartInJob(run, files, job, &process);
    }
    for (const HANDLE file : files) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    if (result.unstarted.empty()) {
        Supervise(process, job, run.timeoutSeconds, &result);
        Collect(process, job, &result);
        CloseHandle(process.hProcess);
        if (result.timedOut) {
            result.exitStatus = -1;
        }
    }
    if (job != nullptr) {
        CloseHandle(job);
    }
    if (result.interrupt == 0) {
        result.interrupt = PendingInterrupt();
    }
    return result;
}

} // namespace tools
