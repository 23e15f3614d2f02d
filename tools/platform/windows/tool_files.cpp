// The companions' file and process operations on Windows, through the C runtime and the
// system library.
#include "common/tool_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>

namespace tools {

long WriteSome(int file, const void* data, size_t size) {
    return _write(file, data, size > (1u << 30) ? (1u << 30) : (unsigned)size);
}

namespace {

// The C runtime's descriptors say why in errno, not in GetLastError.
std::string RuntimeErrorText() {
    return std::generic_category().message(errno);
}

} // namespace

std::string CreateNewFile(const std::string& path, int* file) {
    *file = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return *file >= 0 ? "" : RuntimeErrorText();
}

// CreateDirectory fails where anything is already at the path, so the folder is this run's own.
std::string MakeFreshDirectory(const std::string& prefix, std::string* path) {
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *path = prefix;
        for (int i = 0; i < 6; ++i) {
            *path += letters[random() % (sizeof letters - 1)];
        }
        if (CreateDirectoryA(path->c_str(), nullptr)) {
            return "";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path->clear();
            return LastErrorText();
        }
    }
    path->clear();
    return "no name there is free";
}

std::string LockDirectory(const std::string& directory, DirectoryLock* lock) {
    lock->path = directory + "\\" + LockFileName;
    lock->made = true;
    HANDLE file = CreateFileA(lock->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        lock->made = false;
        file = CreateFileA(lock->path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    OVERLAPPED whole = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        lock->busy = GetLastError() == ERROR_LOCK_VIOLATION;
        const std::string reason = LastErrorText();
        CloseHandle(file);
        return reason;
    }
    lock->handle = (long long)(intptr_t)file;
    return "";
}

// Unlike Linux, a file removed while another run has it open stays until that one closes it; a
// run that opened it in that moment locks a file on its way out. The window is one close.
void UnlockDirectory(DirectoryLock* lock) {
    if (lock->handle < 0) {
        return;
    }
    if (lock->made) {
        DeleteFileA(lock->path.c_str());
    }
    CloseHandle((HANDLE)(intptr_t)lock->handle);
    lock->handle = -1;
}

// _commit is FlushFileBuffers on the file's handle.
std::string SyncFile(int file) {
    return _commit(file) == 0 ? "" : RuntimeErrorText();
}

std::string CloseFile(int file) {
    return _close(file) == 0 ? "" : RuntimeErrorText();
}

std::string LastErrorText() {
    char text[256] = {};
    const DWORD error = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' ')) {
        --length;
    }
    return length > 0 ? std::string(text, length) : "error " + std::to_string(error);
}

// Not promised by the documentation, but relied on widely by storage tools: an unbuffered
// open makes NTFS and ReFS drop the file's cached pages. Wine keeps no such cache.
std::string EvictFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    CloseHandle(file);
    return "";
}

void SyncDirectory(const std::string&) {}

bool IsTerminal(int descriptor) {
    return _isatty(descriptor) != 0;
}

long long AllocatedBytes(const std::string&) {
    return -1;
}

long ProcessId() {
    return (long)GetCurrentProcessId();
}

const char* ExecutableSuffix() {
    return ".exe";
}

std::string SelfDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string self(path, length < sizeof path ? length : 0);
    const size_t slash = self.find_last_of("\\/");
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

namespace {

std::atomic<int>& Interrupt() {
    static std::atomic<int> interrupt{0};
    return interrupt;
}

BOOL WINAPI NoteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    Interrupt() = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}

} // namespace

int PendingInterrupt() {
    static const bool installed = SetConsoleCtrlHandler(NoteInterrupt, TRUE) != 0;
    (void)installed;
    return Interrupt().exchange(0);
}

namespace {

// A new file for the program's output, which it inherits.
HANDLE CreateOutputFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    DeleteFileA(path.c_str());
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
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

} // namespace

// The program runs in a job object, which holds whatever it starts too, so that one call ends
// them all; and in a process group of its own, which Ctrl-Break reaches alone.
int RunCommandInDirectory(const std::vector<std::string>& command, const std::string& directory,
                          const std::string& outPath, const std::string& errPath,
                          double timeoutSeconds, int* interrupt, bool* timedOut,
                          long long* peakKiB) {
    *timedOut = false;
    *peakKiB = -1;
    *interrupt = PendingInterrupt();
    if (*interrupt != 0) {
        return -1;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE files[3] = {CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                             CreateOutputFile(outPath), CreateOutputFile(errPath)};
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    PROCESS_INFORMATION process = {};
    bool started = job != nullptr && SetInformationJobObject(job, JobObjectExtendedLimitInformation,
                                                             &limits, sizeof limits);
    for (const HANDLE file : files) {
        started = started && file != INVALID_HANDLE_VALUE;
    }
    if (started) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = files[0];
        startup.hStdOutput = files[1];
        startup.hStdError = files[2];
        // The program's name ends at the next quote, with no escapes: no Windows name holds one.
        std::string commandLine = "\"" + command[0] + "\"";
        for (size_t i = 1; i < command.size(); ++i) {
            // Two appends, not `" " + ...`: GCC 12 warns falsely of overlap (-Wrestrict) on that.
            commandLine += ' ';
            commandLine += QuotedArgument(command[i]);
        }
        // Suspended until it is in the job, so that nothing it starts escapes.
        started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr,
                                 directory.c_str(), &startup, &process) != 0;
        if (started && !AssignProcessToJobObject(job, process.hProcess)) {
            TerminateProcess(process.hProcess, 1);
        }
        if (started) {
            ResumeThread(process.hThread);
            CloseHandle(process.hThread);
        }
    }
    for (const HANDLE file : files) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    if (!started) {
        if (job != nullptr) {
            CloseHandle(job);
        }
        return -1;
    }
    const ULONGLONG start = GetTickCount64();
    const double timeoutMs = timeoutSeconds * 1000;
    double killAt = -1; // milliseconds from start; >= 0 once asked to stop
    while (WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT) {
        const int signal = PendingInterrupt();
        const double elapsed = (double)(GetTickCount64() - start);
        if (signal != 0 && *interrupt == 0) {
            *interrupt = signal;
        }
        if (killAt < 0 && (signal != 0 || elapsed >= timeoutMs)) {
            *timedOut = signal == 0;
            GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId);
            killAt = elapsed + StopGraceSeconds * 1000;
        } else if (killAt >= 0 && (signal != 0 || elapsed >= killAt)) {
            TerminateJobObject(job, 1);
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION used = {};
    if (QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &used, sizeof used,
                                  nullptr)) {
        *peakKiB = (long long)(used.PeakProcessMemoryUsed / 1024);
    }
    // Whatever the program left running goes with it.
    TerminateJobObject(job, 1);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    if (*interrupt == 0) {
        *interrupt = PendingInterrupt();
    }
    return *timedOut ? -1 : (int)code;
}

} // namespace tools
