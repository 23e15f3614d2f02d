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

} // namespace tools
