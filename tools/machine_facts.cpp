#include "machine_facts.h"

#include "version.h"

#include <cpuid.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/utsname.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace tools {

namespace {

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

// The processor's brand string, as CPUID gives it on every system.
std::string CpuModel() {
    if ((unsigned)__get_cpuid_max(0x80000000u, nullptr) < 0x80000004u) {
        return "";
    }
    unsigned words[12] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        __cpuid(0x80000002u + leaf, words[4 * leaf], words[4 * leaf + 1], words[4 * leaf + 2],
                words[4 * leaf + 3]);
    }
    std::string brand((const char*)words, sizeof words);
    brand = brand.substr(0, brand.find('\0'));
    const size_t first = brand.find_first_not_of(' ');
    return first == std::string::npos
               ? ""
               : brand.substr(first, brand.find_last_not_of(' ') + 1 - first);
}

#ifndef _WIN32
std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

// The mount that holds directory: the longest mount point that is a prefix of its real path.
// Gives the file system's type and the device's number.
void MountOf(const std::string& directory, std::string* type, std::string* device) {
    std::error_code error;
    const std::string real = fs::canonical(directory, error).string();
    std::ifstream in("/proc/self/mountinfo");
    size_t best = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, number, root, point;
        fields >> id >> parent >> number >> root >> point;
        const bool inside =
            real == point || point == "/" ||
            (real.rfind(point, 0) == 0 && real.size() > point.size() && real[point.size()] == '/');
        const size_t dash = line.find(" - ");
        if (!inside || point.size() < best || dash == std::string::npos) {
            continue;
        }
        best = point.size();
        std::istringstream rest(line.substr(dash + 3));
        rest >> *type;
        *device = number;
    }
}

// The model that /sys gives for a device number, or for the disk that holds the partition.
std::string DeviceModel(const std::string& number) {
    if (number.empty()) {
        return "";
    }
    const std::string base = "/sys/dev/block/" + number;
    for (const char* place : {"/device/model", "/../device/model", "/device/name"}) {
        const std::string model = FirstLine(base + place);
        if (!model.empty()) {
            return model;
        }
    }
    // A virtual disk tells no model, only its driver ("virtio_blk").
    for (const char* place : {"/device/driver", "/../device/driver"}) {
        std::error_code error;
        const fs::path driver = fs::read_symlink(base + place, error);
        if (!error) {
            return driver.filename().string();
        }
    }
    return "";
}

// "always [madvise] never" -> "madvise".
std::string HugePages() {
    const std::string line = FirstLine("/sys/kernel/mm/transparent_hugepage/enabled");
    const size_t open = line.find('['), close = line.find(']');
    return open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : "";
}
#endif

} // namespace

Json MachineFacts(const std::string& directory, double ticksPerSecond) {
    std::string host, kernel, filesystem, device, thp;
    unsigned cores = std::thread::hardware_concurrency();
    const std::string cpu = CpuModel();
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    cores = system.dwNumberOfProcessors;
    char name[256] = {};
    DWORD length = sizeof name;
    if (GetComputerNameA(name, &length)) {
        host = name;
    }
    // GetVersionEx answers as the manifest allows; ntdll's RtlGetVersion tells the truth.
    typedef LONG(WINAPI * GetVersionRoutine)(OSVERSIONINFOW*);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto getVersion =
        ntdll ? (GetVersionRoutine)(void*)GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (getVersion != nullptr && getVersion(&version) == 0) {
        kernel = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                 std::to_string(version.dwMinorVersion) + "." +
                 std::to_string(version.dwBuildNumber);
    }
    char volume[MAX_PATH] = {}, type[MAX_PATH] = {};
    std::error_code error;
    const std::string absolute = fs::absolute(directory, error).string();
    if (GetVolumePathNameA(absolute.c_str(), volume, sizeof volume) &&
        GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, type, sizeof type)) {
        filesystem = type;
    }
#else
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) {
        host = name;
    }
    utsname system;
    if (uname(&system) == 0) {
        kernel = std::string(system.sysname) + " " + system.release;
    }
    std::string number;
    MountOf(directory, &filesystem, &number);
    device = DeviceModel(number);
    thp = HugePages();
#endif
    return {{"host", TextOrNull(host)},     {"kernel", TextOrNull(kernel)},
            {"cpu", TextOrNull(cpu)},       {"cores", cores},
            {"tsc_hz", ticksPerSecond},     {"filesystem", TextOrNull(filesystem)},
            {"device", TextOrNull(device)}, {"thp", TextOrNull(thp)},
            {"readrace_version", Version()}};
}

} // namespace tools
