#include "runs/comparison.h"

namespace tools {

std::vector<double> RunSpeedups(const std::vector<RunOutput>& runs) {
    std::vector<double> speedups;
    for (const RunOutput& run : runs) {
        speedups.push_back((double)run.serialTotal / (double)run.parallelTotal);
    }
    return speedups;
}

void Conclude(DeliverableRuns* deliverable, const TickCalibration& clock,
              unsigned long long bytesPerPhase, bool evicted, const SpeedupPlan& plan) {
    deliverable->summary = Summarize(deliverable->runs, clock.ticksPerSecond, bytesPerPhase);
    const std::vector<double> speedups = RunSpeedups(deliverable->runs);
    deliverable->speedup = EstimateSpeedup(speedups, plan);
    if (HasInterval(deliverable->speedup) && deliverable->speedup.verdict == Verdict::Unclear) {
        deliverable->speedup.runsToSettle = RunsToSettle(speedups, plan);
    }
    deliverable->storage = SummarizeStorage(deliverable->traffic);
    deliverable->cacheDoubt =
        JudgeCache(deliverable->storage, evicted, deliverable->name != "readrace_nobuf");
}

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

} // namespace tools
