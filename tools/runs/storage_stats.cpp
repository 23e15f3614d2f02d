#include "runs/storage_stats.h"

#include "runs/run_stats.h"

#include <cstdio>

namespace tools {

RunTraffic MeasureRun(const StorageCounters* before, const StorageCounters* after,
                      const Residency& residency, unsigned long long bytesPerPhase, bool evicted,
                      bool buffered) {
    RunTraffic traffic;
    traffic.after = residency;
    traffic.bypassJudged = !buffered && evicted && residency.known && residency.pages > 0;
    traffic.bypassHonoured = traffic.bypassJudged &&
                             (double)residency.cached < CachedAfterShare * (double)residency.pages;
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
        summary.bypassRuns += run.bypassJudged ? 1 : 0;
        summary.bypassIgnoredRuns += run.bypassJudged && !run.bypassHonoured ? 1 : 0;
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

bool BypassJudged(const StorageSummary& storage) {
    return storage.bypassRuns > 0;
}

bool BypassHonoured(const StorageSummary& storage) {
    return BypassJudged(storage) && storage.cachedAfter < CachedAfterShare;
}

CacheDoubt JudgeCache(const StorageSummary& storage, bool evicted, bool buffered) {
    if (!evicted) {
        return CacheDoubt::None;
    }
    const bool readOnce = storage.measuredRuns > 0 && storage.readRatio <= OnceReadRatio;
    const bool readTwice = storage.measuredRuns > 0 && !readOnce;
    if (!buffered && BypassJudged(storage) && !BypassHonoured(storage)) {
        return readTwice ? CacheDoubt::BypassIgnoredReadTwice : CacheDoubt::BypassIgnored;
    }
    if (storage.measuredRuns > 0) {
        return readOnce ? CacheDoubt::ServedSerial : CacheDoubt::None;
    }
    if (storage.residencyRuns > 0) {
        // Files gone from the cache after the run were not there for the serial phase either.
        return storage.cachedAfter >= CachedAfterShare ? CacheDoubt::CachedAfter : CacheDoubt::None;
    }
    return buffered ? CacheDoubt::UnknownBuffered : CacheDoubt::UnknownUnbuffered;
}

} // namespace tools
