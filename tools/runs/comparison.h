// What readrace_compare measured, as every report (text, JSON, Markdown, chart) reads it.
#pragma once

#include "runs/run_output.h"
#include "runs/run_stats.h"
#include "runs/speedup_stats.h"
#include "runs/storage_stats.h"
#include "common/tick_clock.h"

#include <string>
#include <vector>

namespace tools {

struct DeliverableRuns {
    std::string name; // "readrace_seq" or "readrace_nobuf"
    std::string path;
    std::vector<RunOutput> runs;
    std::vector<RunTraffic> traffic; // one per run, in the same order
    Summary summary;
    StorageSummary storage;
    SpeedupEstimate speedup;
    CacheDoubt cacheDoubt = CacheDoubt::None;
};

// One directory's comparison: the ten files there, every deliverable's runs.
struct Comparison {
    std::string directory;
    unsigned long long fileSize = 0;      // of each file; the ten may differ, then the first's
    unsigned long long bytesPerPhase = 0; // the ten files together
    bool evicted = true;
    bool evictionChecked = false;     // the cache was seen to hold none of the files after evicting
    std::string unmeasured;           // why storage traffic was not measured, or ""
    std::vector<std::string> devices; // whose counters were read, where they were
    std::string stoppedBy;            // which rule ended the runs
    std::vector<DeliverableRuns> deliverables;
};

// Each run's serial total over its parallel total. ParseRunOutput refuses a run whose totals
// are not both positive, so every run counts.
std::vector<double> RunSpeedups(const std::vector<RunOutput>& runs);

// Fills in summary, speed-up and the doubt about the cache from the runs and their traffic, under
// the plan that chose them; with no verdict, works out how many runs would likely settle it.
void Conclude(DeliverableRuns* deliverable, const TickCalibration& clock,
              unsigned long long bytesPerPhase, bool evicted,
              const SpeedupPlan& plan = FixedPlan());

} // namespace tools
