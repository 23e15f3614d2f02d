// Which block devices hold a set of files on Linux, and where their /sys counters are: the
// device under the file system for most, every member of a btrfs volume, and for an overlay the
// devices under the layers that hold the files.
#include "common/storage_traffic.h"

#include "common/file_ops.h"

#include "platform/linux/mount_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/btrfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tools {

namespace {

// An overlay of overlays is allowed, but not without end.
constexpr int DeepestOverlay = 8;

void AddDevice(const std::string& counters, const std::string& name, StorageDevice* device) {
    if (std::find(device->counters.begin(), device->counters.end(), counters) ==
        device->counters.end()) {
        device->counters.push_back(counters);
        device->names.push_back(name);
    }
}

// Every member of the btrfs volume that holds path, from the volume's id: "" or why not.
std::string AddBtrfsDevices(const std::string& path, StorageDevice* device) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        return "cannot open " + path + ": " + ErrorText(errno);
    }
    btrfs_ioctl_fs_info_args info = {};
    const int asked = ioctl(file, BTRFS_IOC_FS_INFO, &info);
    const int askError = errno;
    close(file);
    if (asked != 0) {
        return "btrfs does not tell the volume of " + path + ": " + ErrorText(askError);
    }
    char id[40];
    const unsigned char* b = info.fsid;
    snprintf(id, sizeof id, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
             b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
             b[14], b[15]);
    const fs::path members = fs::path("/sys/fs/btrfs") / id / "devices";
    std::error_code error;
    size_t found = 0;
    for (const fs::directory_entry& member : fs::directory_iterator(members, error)) {
        AddDevice((member.path() / "stat").string(), member.path().filename().string(), device);
        ++found;
    }
    return found > 0
               ? ""
               : "btrfs volume " + std::string(id) + " lists no devices in " + members.string();
}

// An option's value from a mount's options, escapes undone; "" where it is not there.
std::string MountOption(const std::string& options, const std::string& key) {
    size_t start = 0;
    while (start <= options.size()) {
        const size_t end = std::min(options.find(',', start), options.size());
        const std::string option = options.substr(start, end - start);
        if (option.rfind(key + "=", 0) == 0) {
            return UnescapeMountField(option.substr(key.size() + 1));
        }
        start = end + 1;
    }
    return "";
}

// An overlay's layers, the upper first: lowerdir is split at colons that are not escaped.
std::vector<std::string> OverlayLayers(const std::string& options) {
    std::vector<std::string> layers;
    const std::string upper = MountOption(options, "upperdir");
    if (!upper.empty()) {
        layers.push_back(upper);
    }
    std::string lower = MountOption(options, "lowerdir"), layer;
    for (size_t i = 0; i < lower.size(); ++i) {
        if (lower[i] == '\\' && i + 1 < lower.size()) {
            layer += lower[++i];
        } else if (lower[i] == ':') {
            layers.push_back(layer);
            layer.clear();
        } else {
            layer += lower[i];
        }
    }
    if (!layer.empty()) {
        layers.push_back(layer);
    }
    return layers;
}

std::string AddDevicesOf(const std::string& path, int depth, StorageDevice* device);

// The file in the overlay layer that holds it, the upper layer first, as the overlay finds it.
std::string AddOverlayDevices(const MountEntry& mount, const std::string& real, int depth,
                              StorageDevice* device) {
    if (depth >= DeepestOverlay) {
        return "overlays nest deeper than " + std::to_string(DeepestOverlay);
    }
    const fs::path inside = fs::path(mount.root) / fs::path(real).lexically_relative(mount.point);
    for (const std::string& layer : OverlayLayers(mount.options)) {
        if (layer.empty() || layer[0] != '/') {
            return "overlay at " + mount.point + " names a layer by the relative path " + layer +
                   ", which cannot be found from here";
        }
        const std::string candidate = (fs::path(layer) / inside.relative_path()).string();
        struct stat status;
        if (lstat(candidate.c_str(), &status) == 0) {
            return AddDevicesOf(candidate, depth + 1, device);
        }
    }
    return "overlay at " + mount.point + ": no layer visible here holds " + real;
}

// The devices under the file system that holds path: "" or why there are none to measure.
std::string AddDevicesOf(const std::string& path, int depth, StorageDevice* device) {
    std::error_code error;
    const std::string real = fs::canonical(path, error).string();
    if (error) {
        return "cannot find " + path + ": " + error.message();
    }
    MountEntry mount;
    if (!FindMount(real, &mount)) {
        return "no mount in /proc/self/mountinfo holds " + real;
    }
    if (mount.type == "btrfs") {
        return AddBtrfsDevices(real, device);
    }
    if (mount.type == "overlay") {
        return AddOverlayDevices(mount, real, depth, device);
    }
    struct stat status;
    if (stat(real.c_str(), &status) != 0) {
        return "cannot stat " + real + ": " + ErrorText(errno);
    }
    // A partition, a device mapper or md device has counters of its own under its number.
    const std::string number =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    const fs::path block = "/sys/dev/block/" + number;
    if (access((block / "stat").c_str(), R_OK) != 0) {
        return mount.type + " at " + mount.point + " is on no block device with counters (its " +
               "device " + number + " has no " + (block / "stat").string() + ")";
    }
    AddDevice((block / "stat").string(), fs::canonical(block, error).filename().string(), device);
    return "";
}

} // namespace

StorageDevice FindStorageDevice(const std::string& directory,
                                const std::vector<std::string>& files) {
    StorageDevice device;
    std::error_code error;
    MountEntry mount;
    if (FindMount(fs::canonical(directory, error).string(), &mount)) {
        device.fileSystem = mount.type;
    }
    // With no files named, the directory's own file system.
    for (const std::string& file : files.empty() ? std::vector<std::string>{directory} : files) {
        device.unmeasured = AddDevicesOf(file, 0, &device);
        if (!device.unmeasured.empty()) {
            break;
        }
    }
    StorageCounters counters;
    if (device.unmeasured.empty() && !ReadStorageCounters(device, &counters)) {
        device.unmeasured = "the counters of " + DeviceNames(device.names) + " cannot be read";
    }
    if (!device.unmeasured.empty()) {
        device.counters.clear();
        device.names.clear();
    }
    return device;
}

} // namespace tools
