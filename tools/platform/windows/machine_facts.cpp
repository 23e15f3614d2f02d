// The machine's facts on Windows, from the system library.
#include "common/machine_facts.h"

#include <filesystem>
#include <windows.h>

namespace fs = std::filesystem;

namespace tools {

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
    char volume[MAX_PATH] = {}, type[MAX_PATH] = {};
    std::error_code error;
    const std::string absolute = fs::absolute(directory, error).string();
    if (GetVolumePathNameA(absolute.c_str(), volume, sizeof volume) &&
        GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, type, sizeof type)) {
        facts->filesystem = type;
    }
}

} // namespace tools
