// The sentences a report says about how the runs were made: what was done to the page cache
// before each, and what the storage's counters and the cache showed after.
#pragma once

#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

// What was done to the page cache before each run, and whether it was seen to take.
std::string EvictionText(const Comparison& comparison);

// The report's line about storage, without its label: "read 2.00x the files' bytes per run
// (median of 6) from sda1, in requests of 512 KiB, 1.9 in flight while busy", or why not
// measured.
std::string StorageText(const StorageSummary& storage, const std::vector<std::string>& devices,
                        const std::string& unmeasured);

} // namespace tools
