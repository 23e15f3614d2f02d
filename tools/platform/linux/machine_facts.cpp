// The machine's facts on Linux, from uname, /proc and /sys.
#include "common/machine_facts.h"

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
    std::string number;
    MountOf(directory, &facts->filesystem, &number);
    facts->device = DeviceModel(number);
    facts->thp = TransparentHugePages();
}

} // namespace tools
