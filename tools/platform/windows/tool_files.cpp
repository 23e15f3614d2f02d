// The companions' file and process operations on Windows, through the C runtime and the
// system library.
#include "common/tool_files.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace tools {

long WriteSome(int file, const void* data, size_t size) {
    return _write(file, data, size > (1u << 30) ? (1u << 30) : (unsigned)size);
}

int CreateNewFile(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

// _commit is FlushFileBuffers on the file's handle.
bool SyncFile(int file) {
    return _commit(file) == 0;
}

bool CloseFile(int file) {
    return _close(file) == 0;
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

int RunInDirectory(const std::string& program, const std::string& directory,
                   const std::string& outPath, const std::string& errPath, int* interrupt) {
    const std::string command = "cd /d \"" + directory + "\" && \"" + program + "\" > \"" +
                                outPath + "\" 2> \"" + errPath + "\"";
    // cmd drops the outer quotes of a command line that starts with one.
    const int status = system(("\"" + command + "\"").c_str());
    *interrupt = PendingInterrupt();
    return status;
}

} // namespace tools
