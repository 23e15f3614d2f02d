// The machine's facts on Windows, from the system library.
#include "common/machine_facts.h"

#include <filesystem>
#include <windows.h>

namespace fs = std::filesystem;

namespace tools {

// Windows gives large pages only to those who ask for them; there is no transparent setting.
std::string TransparentHugePages() {
    return "";
}

void GatherSystemFacts(const std::string& directory, MachineFacts* facts) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    facts->cores = system.dwNumberOfProcessors;
    char name[256] = {};
    DWORD length = sizeof name;
    if (GetComputerNameA(name, &length)) {
        facts->host = name;
    }
    // GetVersionEx answers as the manifest allows; ntdll's RtlGetVersion tells the truth.
    typedef LONG(WINAPI * GetVersionRoutine)(OSVERSIONINFOW*);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto getVersion =
        ntdll ? (GetVersionRoutine)(void*)GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (getVersion != nullptr && getVersion(&version) == 0) {
        facts->kernel = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                        std::to_string(version.dwMinorVersion) + "." +
                        std::to_string(version.dwBuildNumber);
    }
    // Asked of a handle to the directory rather than of its volume's root: Wine prints a
    // complaint of its own to standard error when the root is asked and cannot be opened.
    std::error_code error;
    const std::wstring absolute = fs::absolute(directory, error).wstring();
    const HANDLE handle =
        error ? INVALID_HANDLE_VALUE
              : CreateFileW(absolute.c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    wchar_t type[MAX_PATH] = {};
    if (handle != INVALID_HANDLE_VALUE) {
        char text[4 * MAX_PATH] = {};
        if (GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, nullptr, type,
                                          MAX_PATH) &&
            WideCharToMultiByte(CP_UTF8, 0, type, -1, text, sizeof text, nullptr, nullptr) > 0) {
            facts->filesystem = text;
        }
        CloseHandle(handle);
    }
}

} // namespace tools
