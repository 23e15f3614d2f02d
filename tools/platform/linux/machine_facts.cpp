// The machine's facts on Linux, from uname, /proc and /sys.
#include "common/machine_facts.h"

#include "platform/linux/mount_table.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tools {

namespace {

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
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
} // namespace

// "always [madvise] never" -> "madvise".
std::string TransparentHugePages() {
    const std::string line = FirstLine("/sys/kernel/mm/transparent_hugepage/enabled");
    const size_t open = line.find('['), close = line.find(']');
    return open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : "";
}

void GatherSystemFacts(const std::string& directory, MachineFacts* facts) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) {
        facts->host = name;
    }
    utsname system;
    if (uname(&system) == 0) {
        facts->kernel = std::string(system.sysname) + " " + system.release;
    }
    std::error_code error;
    MountEntry mount;
    if (FindMount(fs::canonical(directory, error).string(), &mount)) {
        facts->filesystem = mount.type;
        facts->device = DeviceModel(mount.number);
    }
    facts->thp = TransparentHugePages();
}

} // namespace tools
