// What storage did around a run: the block device's own counters, and which of the files'
// pages the page cache holds. Per system in platform/<system>/storage_traffic.cpp.
#pragma once

#include <string>
#include <vector>

namespace tools {

// The counters of the device under a directory. They count every process's I/O, so what a
// run's deltas say is an upper bound of the run's own.
struct StorageCounters {
    unsigned long long bytesRead = 0;
    unsigned long long reads = 0; // read requests completed
    double busyMs = 0;            // time the device had a request in flight
    double queueMs = 0;           // the requests' times added up: in flight, summed over time
};

// The devices that hold a set of files: one for most file systems, every member of a btrfs
// volume, the devices of the layers that hold the files of an overlay.
struct StorageDevice {
    std::vector<std::string> counters; // what each device's counters are read from
    std::vector<std::string> names;    // the devices, as the system names them: "sda1", "C:"
    std::string fileSystem;            // of the directory: "ext4", "btrfs"; "" where unknown
    std::string unmeasured;            // why there are no counters; "" where there are
};

// Finds the devices that hold the files in directory and reads their counters once, to know
// that they answer.
StorageDevice FindStorageDevice(const std::string& directory,
                                const std::vector<std::string>& files);

// "loop0", "loop0 and loop1", "sda, sdb and sdc"; "" for none.
std::string DeviceNames(const std::vector<std::string>& names);

// The counters now, summed over the devices: false where any cannot be read.
bool ReadStorageCounters(const StorageDevice& device, StorageCounters* counters);

// after minus before, each field.
StorageCounters CountersDelta(const StorageCounters& before, const StorageCounters& after);

// How many of a file's pages are in the page cache, and of how many; known is false where the
// system cannot tell (no mincore, or a file that cannot be mapped).
struct Residency {
    bool known = false;
    unsigned long long cached = 0, pages = 0;
};
Residency CachedPages(const std::string& path);

// The files' pages together: known only where each file's is.
Residency CachedPagesOf(const std::vector<std::string>& paths);

} // namespace tools
