// How much faster two readers at once were than one: the median speed-up over runs, with an
// exact order-statistic (sign-test) interval and the verdict it supports. What the verdict says
// in words is the reports' business (report/verdict_text.h).
//
// Whatever the noise, the count of runs whose speed-up lies below the true median is a fair
// binomial walk, so the chance that an interval [x(k), x(n+1-k)] misses the true median is
// exactly 2 P(Binomial(n, 1/2) <= k-1). Auto mode looks after every run from FirstLook to its
// cap and may stop at any look; it uses one per-look level, the largest for which an exact walk
// over every look keeps the chance that any look wrongly excludes the median within the level.
#pragma once

#include "runs/run_stats.h"

#include <string>
#include <vector>

namespace tools {

// What the interval says, given the margin: "parallel", "serial", "equivalent" or "unclear" in
// the reports.
enum class Verdict { Parallel, Serial, Equivalent, Unclear };

constexpr double DefaultMargin = 0.03;
constexpr double DefaultLevel = 0.05;
// Auto mode's first look; before it no interval is looked at.
constexpr int FirstLook = 5;
// The largest cap whose levels are worth an exact walk (its cost grows with the cap squared).
constexpr int LargestCap = 1000;

// How intervals are chosen: for a fixed count of runs at the level itself, or, in auto mode, at
// one per-look level for the looks from firstLook to lastLook.
struct SpeedupPlan {
    bool sequential = false;
    int firstLook = FirstLook, lastLook = 0;
    double level = DefaultLevel; // the chance of a wrong exclusion the plan allows, in all
    double perLookLevel = DefaultLevel;
    double errorBound = 0; // the exact chance that any look wrongly excludes the median
    double margin = DefaultMargin;
};

// A fixed count of runs: each interval at the level.
SpeedupPlan FixedPlan(double level = DefaultLevel, double margin = DefaultMargin);

// Auto mode with looks from firstLook to lastLook (at most LargestCap): the largest per-look
// level whose exact chance of any wrong exclusion is at most level.
SpeedupPlan SequentialPlan(int firstLook, int lastLook, double level = DefaultLevel,
                           double margin = DefaultMargin);

// The chance that any look from firstLook to lastLook excludes the true median when each look
// uses perLookLevel: exact, over the binomial walk of the runs below it.
double AnyLookExcludes(int firstLook, int lastLook, double perLookLevel);

// 2 P(Binomial(n, 1/2) <= j): the chance that [x(j+1), x(n-j)] misses the median.
double SignTail(int n, int j);

// The largest k with SignTail(n, k-1) <= level; 0 when even [x(1), x(n)] is not sure enough.
int SignRank(int n, double level);

struct SpeedupEstimate {
    int runs = 0;
    double median = 0;
    // The reported interval [x(k), x(n+1-k)]; both equal the median when there is none (rank 0).
    double low = 0, high = 0;
    int rank = 0;
    // The smallest difference that matters: equivalent means within [1/(1+margin), 1+margin].
    double margin = DefaultMargin;
    Verdict verdict = Verdict::Unclear;
    double level = DefaultLevel; // the plan's; the interval is a (1 - level) one
    double perLookLevel = DefaultLevel;
    double errorBound = 0;
    bool sequential = false;
    int firstLook = 0, lastLook = 0, looks = 0;
    // With no verdict: about how many runs in all would likely settle it; -1 for more than
    // LargestCap (the machine is too noisy for the margin); 0 when not worked out.
    int runsToSettle = 0;
};

// Whether the estimate has an interval to show: a rank, and bounds a ratio can have (finite and
// above 0). Every report, text, JSON or chart, shows one where this holds, and only then.
bool HasInterval(const SpeedupEstimate& estimate);

// The estimate over the runs' speed-ups (serial total over parallel total) under the plan.
SpeedupEstimate EstimateSpeedup(const std::vector<double>& speedups,
                                const SpeedupPlan& plan = FixedPlan());

// From the spread of the speed-ups so far: the fewest runs in all at which a fresh session under
// the plan (its cap raised to them in auto mode) has a projected 80% chance of a verdict, with
// the true centre taken as the hardest within a standard error of the one seen; never a count
// whose interval is no narrower than the one so far. As in SpeedupEstimate::runsToSettle.
int RunsToSettle(const std::vector<double>& speedups, const SpeedupPlan& plan);

// The fewest runs from which an interval at the estimate's per-look level can exclude anything.
int RunsForAnInterval(const SpeedupEstimate& estimate);

// "parallel", "serial", "equivalent" or "unclear".
const char* VerdictName(Verdict verdict);
// Back from a name; Unclear for any other text.
Verdict VerdictFromName(const std::string& name);

// Standard deviation over mean; 0 for fewer than two values.
double CoefficientOfVariation(const std::vector<double>& values);

} // namespace tools
