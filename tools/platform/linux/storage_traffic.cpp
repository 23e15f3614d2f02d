// Storage traffic on Linux: the block devices' /sys counters (as iostat reads them), and page
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

namespace {

bool ReadDeviceCounters(const std::string& path, StorageCounters* counters) {
    std::ifstream in(path);
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

} // namespace

bool ReadStorageCounters(const StorageDevice& device, StorageCounters* counters) {
    // The members of a volume each count their own share of the bytes and requests. Their busy
    // and queue times are summed too, so that over several devices the count in flight while
    // busy is a mean per device.
    StorageCounters sum;
    for (const std::string& path : device.counters) {
        StorageCounters one;
        if (!ReadDeviceCounters(path, &one)) {
            return false;
        }
        sum.bytesRead += one.bytesRead;
        sum.reads += one.reads;
        sum.busyMs += one.busyMs;
        sum.queueMs += one.queueMs;
    }
    *counters = sum;
    return !device.counters.empty();
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
