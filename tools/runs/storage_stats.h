// What the storage counters and the page cache say of a program's runs: the traffic per run,
// its summary, and the caveat it puts on the verdict.
#pragma once

#include "common/storage_traffic.h"

#include <string>
#include <vector>

namespace tools {

// Under this share of the ten files' bytes, a run from an evicted start cannot have read every
// file from storage: the cache served part of it.
constexpr double PartlyCachedRatio = 0.9;
// At most this share means one read of each file, not two: the serial phase read the cache.
constexpr double OnceReadRatio = 1.5;
// At least this share of the files' pages in the page cache after a run from an evicted start
// means the run read them through it.
constexpr double CachedAfterShare = 0.5;

struct RunTraffic {
    bool measured = false;
    StorageCounters counters; // the run's deltas
    double readRatio = 0;     // bytes read over the ten files' bytes
    bool partlyCached = false;
    Residency after; // the ten files' pages in the page cache right after the run
    // For the program that asks to bypass the cache, from an evicted start where the cache's
    // contents were seen after the run: whether the files stayed out of it.
    bool bypassJudged = false;
    bool bypassHonoured = false;
};

// buffered is false for the program that asks to bypass the cache.
RunTraffic MeasureRun(const StorageCounters* before, const StorageCounters* after,
                      const Residency& residency, unsigned long long bytesPerPhase, bool evicted,
                      bool buffered);

struct StorageSummary {
    int measuredRuns = 0;
    double readRatio = 0;    // median
    double requestBytes = 0; // all runs' bytes over all their requests
    double inFlight = 0;     // all runs' queue time over their busy time
    int partlyCachedRuns = 0;
    int residencyRuns = 0;  // runs whose residency after was known
    double cachedAfter = 0; // median share of the files' pages cached after a run
    int bypassRuns = 0;     // runs whose bypass of the cache was judged
    int bypassIgnoredRuns = 0;
};

// Whether the file system kept the files out of the cache as asked, judged by the median run;
// false where it was not judged.
bool BypassJudged(const StorageSummary& storage);
bool BypassHonoured(const StorageSummary& storage);

StorageSummary SummarizeStorage(const std::vector<RunTraffic>& traffic);

// What the measurement says of the cache's part in a program's serial phase. From an evicted
// start, with both phases opening alike, files found in the cache after a run were read from it
// by the serial phase, unless the traffic shows both phases reading storage. So: for the program
// that asks to bypass the cache, whether the file system honoured it (BypassIgnored, or
// BypassIgnoredReadTwice where the traffic still shows two reads); then the traffic where it
// was measured (ServedSerial); then the cache's contents where they were seen (CachedAfter);
// else that nothing could be known. buffered is false for the program that asks to bypass it.
enum class CacheDoubt {
    None,
    ServedSerial,
    CachedAfter,
    BypassIgnored,
    BypassIgnoredReadTwice,
    UnknownBuffered,
    UnknownUnbuffered
};
CacheDoubt JudgeCache(const StorageSummary& storage, bool evicted, bool buffered);

} // namespace tools
