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

struct StorageDevice {
    std::string counters;   // what the counters are read from (a /sys file, a volume's name)
    std::string unmeasured; // why there are no counters; "" where there are
};

// Finds the device that holds directory and reads its counters once, to know that they answer.
StorageDevice FindStorageDevice(const std::string& directory);

// The counters now: false where they cannot be read.
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
