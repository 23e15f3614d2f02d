#include "report/run_text.h"

#include "common/size_text.h"
#include "common/storage_traffic.h"

#include <cstdio>

namespace tools {

std::string EvictionText(const Comparison& comparison) {
    if (!comparison.evicted) {
        return "the page cache left as it was (--no-evict)";
    }
    return comparison.evictionChecked
               ? "the ten files evicted from the page cache before each run, and seen to have "
                 "left it"
               : "the ten files' eviction from the page cache asked for before each run; whether "
                 "it took could not be checked here";
}

std::string StorageText(const StorageSummary& storage, const std::vector<std::string>& devices,
                        const std::string& unmeasured) {
    char text[256];
    std::string line;
    if (storage.measuredRuns > 0) {
        snprintf(text, sizeof text, "read %.2fx the files' bytes per run (median of %d)",
                 storage.readRatio, storage.measuredRuns);
        line = text;
        if (!devices.empty()) {
            line += " from " + DeviceNames(devices);
        }
        snprintf(text, sizeof text, ", in requests of %s, %.1f in flight while busy",
                 FormatSize((unsigned long long)(storage.requestBytes + 0.5)).c_str(),
                 storage.inFlight);
        line += text;
    } else {
        line = "not measured: " + (unmeasured.empty() ? "no counters were read" : unmeasured);
    }
    if (storage.residencyRuns > 0) {
        snprintf(text, sizeof text, "; %.0f%% of the files' pages in the page cache after a run",
                 storage.cachedAfter * 100);
        line += text;
    }
    return line;
}

} // namespace tools
