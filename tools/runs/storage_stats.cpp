#include "runs/storage_stats.h"

#include "common/size_text.h"
#include "runs/run_stats.h"

#include <cstdio>

namespace tools {

RunTraffic MeasureRun(const StorageCounters* before, const StorageCounters* after,
                      const Residency& residency, unsigned long long bytesPerPhase, bool evicted) {
    RunTraffic traffic;
    traffic.after = residency;
    if (before != nullptr && after != nullptr && bytesPerPhase > 0) {
        traffic.measured = true;
        traffic.counters = CountersDelta(*before, *after);
        traffic.readRatio = (double)traffic.counters.bytesRead / (double)bytesPerPhase;
        traffic.partlyCached = evicted && traffic.readRatio < PartlyCachedRatio;
    }
    return traffic;
}

StorageSummary SummarizeStorage(const std::vector<RunTraffic>& traffic) {
    StorageSummary summary;
    std::vector<double> ratios, cached;
    double bytes = 0, reads = 0, busy = 0, queue = 0;
    for (const RunTraffic& run : traffic) {
        if (run.after.known && run.after.pages > 0) {
            cached.push_back((double)run.after.cached / (double)run.after.pages);
        }
        if (!run.measured) {
            continue;
        }
        ratios.push_back(run.readRatio);
        bytes += (double)run.counters.bytesRead;
        reads += (double)run.counters.reads;
        busy += run.counters.busyMs;
        queue += run.counters.queueMs;
        summary.partlyCachedRuns += run.partlyCached ? 1 : 0;
    }
    summary.measuredRuns = (int)ratios.size();
    summary.readRatio = MedianOf(ratios);
    summary.requestBytes = reads > 0 ? bytes / reads : 0;
    // The queue time is the count in flight summed over time, so over the busy time it is the
    // mean count while anything was in flight.
    summary.inFlight = busy > 0 ? queue / busy : 0;
    summary.residencyRuns = (int)cached.size();
    summary.cachedAfter = MedianOf(cached);
    return summary;
}

CacheDoubt JudgeCache(const StorageSummary& storage, bool evicted, bool buffered) {
    if (!evicted) {
        return CacheDoubt::None;
    }
    if (storage.measuredRuns > 0) {
        return storage.readRatio <= OnceReadRatio ? CacheDoubt::ServedSerial : CacheDoubt::None;
    }
    if (storage.residencyRuns > 0) {
        // Files gone from the cache after the run were not there for the serial phase either.
        return storage.cachedAfter >= 0.5 ? CacheDoubt::CachedAfter : CacheDoubt::None;
    }
    return buffered ? CacheDoubt::UnknownBuffered : CacheDoubt::UnknownUnbuffered;
}

std::string StorageText(const StorageSummary& storage, const std::string& unmeasured) {
    char text[256];
    std::string line;
    if (storage.measuredRuns > 0) {
        snprintf(text, sizeof text,
                 "read %.2fx the files' bytes per run (median of %d), in requests of %s, %.1f in "
                 "flight while busy",
                 storage.readRatio, storage.measuredRuns,
                 FormatSize((unsigned long long)(storage.requestBytes + 0.5)).c_str(),
                 storage.inFlight);
        line = text;
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
