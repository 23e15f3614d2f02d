// Storage traffic on Linux: the block device's /sys counters (as iostat reads them), and page
// residency from mincore over a private read-only mapping (as fincore reads it).
#include "common/storage_traffic.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tools {

StorageDevice FindStorageDevice(const std::string& directory) {
    StorageDevice device;
    struct stat status;
    if (stat(directory.c_str(), &status) != 0) {
        device.unmeasured = "cannot stat the directory: " + std::string(strerror(errno));
        return device;
    }
    // A partition has counters of its own under its number, as the whole disk has.
    const std::string number =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    device.counters = "/sys/dev/block/" + number + "/stat";
    StorageCounters counters;
    if (!ReadStorageCounters(device, &counters)) {
        // tmpfs, FUSE, NFS, overlay and btrfs give a device number that names no block device.
        device.unmeasured = "its file system's device " + number +
                            " is not a block device with "
                            "counters (" +
                            device.counters + ")";
        device.counters.clear();
    }
    return device;
}

bool ReadStorageCounters(const StorageDevice& device, StorageCounters* counters) {
    if (device.counters.empty()) {
        return false;
    }
    std::ifstream in(device.counters);
    std::string line;
    if (!std::getline(in, line)) {
        return false;
    }
    // reads, reads merged, sectors read, read ms, writes, writes merged, sectors written,
    // write ms, in flight, busy ms, queue ms; sectors are 512 bytes whatever the device's.
    std::istringstream fields(line);
    unsigned long long value[11] = {};
    for (unsigned long long& field : value) {
        if (!(fields >> field)) {
            return false;
        }
    }
    counters->reads = value[0];
    counters->bytesRead = value[2] * 512;
    counters->busyMs = (double)value[9];
    counters->queueMs = (double)value[10];
    return true;
}

Residency CachedPages(const std::string& path) {
    Residency residency;
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (file < 0 || fstat(file, &status) != 0) {
        if (file >= 0) {
            close(file);
        }
        return residency;
    }
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    const size_t size = (size_t)status.st_size;
    residency.pages = (size + page - 1) / page;
    if (size == 0) {
        close(file);
        residency.known = true;
        return residency;
    }
    // Private: FUSE refuses shared mappings of files it serves without the page cache.
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
    close(file);
    if (map == MAP_FAILED) {
        return residency;
    }
    std::vector<unsigned char> resident(residency.pages);
    if (mincore(map, size, resident.data()) == 0) {
        residency.known = true;
        for (const unsigned char flag : resident) {
            residency.cached += flag & 1;
        }
    }
    munmap(map, size);
    return residency;
}

} // namespace tools
