// Storage traffic on Windows: the volume's IOCTL_DISK_PERFORMANCE counters, where the system
// keeps them. Windows offers no way to ask which of a file's pages are cached.
#include "common/storage_traffic.h"

#include <filesystem>
#include <windows.h>
#include <winioctl.h>

namespace fs = std::filesystem;

namespace tools {

namespace {

// \\.\C: for the volume that holds directory, or "".
std::string VolumeDevice(const std::string& directory) {
    std::error_code error;
    const std::wstring absolute = fs::absolute(directory, error).wstring();
    wchar_t volume[MAX_PATH] = {};
    if (error || !GetVolumePathNameW(absolute.c_str(), volume, MAX_PATH)) {
        return "";
    }
    std::wstring root = volume;
    if (root.size() < 2 || root[1] != L':') {
        return ""; // a mounted folder or a share: no drive letter to open
    }
    return std::string("\\\\.\\") + (char)root[0] + ":";
}

bool QueryPerformance(const std::string& device, DISK_PERFORMANCE* performance) {
    // No access rights are needed to ask a volume for its counters.
    const HANDLE volume = CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD got = 0;
    const BOOL answered = DeviceIoControl(volume, IOCTL_DISK_PERFORMANCE, nullptr, 0, performance,
                                          sizeof *performance, &got, nullptr);
    CloseHandle(volume);
    return answered && got >= sizeof *performance;
}

} // namespace

// The ten files of a comparison share their directory's volume.
StorageDevice FindStorageDevice(const std::string& directory, const std::vector<std::string>&) {
    StorageDevice device;
    const std::string volume = VolumeDevice(directory);
    DISK_PERFORMANCE performance;
    if (volume.empty()) {
        device.unmeasured = "its volume has no drive letter whose counters can be asked for";
    } else if (!QueryPerformance(volume, &performance)) {
        device.unmeasured = "volume " + volume +
                            " does not answer "
                            "IOCTL_DISK_PERFORMANCE (diskperf -y turns its counters on)";
    } else {
        device.counters.push_back(volume);
        device.names.push_back(volume.substr(4)); // "C:"
    }
    return device;
}

bool ReadStorageCounters(const StorageDevice& device, StorageCounters* counters) {
    DISK_PERFORMANCE performance;
    if (device.counters.size() != 1 || !QueryPerformance(device.counters[0], &performance)) {
        return false;
    }
    // The times are in 100 ns units; busy is the time queried less the time idle.
    counters->bytesRead = (unsigned long long)performance.BytesRead.QuadPart;
    counters->reads = performance.ReadCount;
    counters->busyMs =
        (double)(performance.QueryTime.QuadPart - performance.IdleTime.QuadPart) / 1e4;
    counters->queueMs =
        (double)(performance.ReadTime.QuadPart + performance.WriteTime.QuadPart) / 1e4;
    return true;
}

Residency CachedPages(const std::string&) {
    return {};
}

} // namespace tools
