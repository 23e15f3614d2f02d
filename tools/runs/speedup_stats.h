// How much faster two readers at once were than one: the median speed-up over runs, with a
// bootstrap confidence interval, and the plain sentence that says what it means.
#pragma once

#include "runs/run_stats.h"

#include <string>
#include <vector>

namespace tools {

constexpr int BootstrapResamples = 10000;
constexpr unsigned long long BootstrapSeed = 20261208;

// What the interval says, given the margin: "parallel", "serial", "equivalent" or "unclear" in
// the reports.
enum class Verdict { Parallel, Serial, Equivalent, Unclear };

constexpr double DefaultMargin = 0.03;

struct SpeedupEstimate {
    int runs = 0;
    double median = 0;
    double low = 0, high = 0; // the 95% interval
    int resamples = 0;
    unsigned long long seed = 0;
    // The smallest difference that matters: equivalent means within [1/(1+margin), 1+margin].
    double margin = DefaultMargin;
    Verdict verdict = Verdict::Unclear;
};

// Percentile bootstrap of the median: resamples whole runs, with a fixed seed and a generator
// whose sequence the C++ standard fixes, so the same speed-ups always give the same interval.
SpeedupEstimate EstimateSpeedup(const std::vector<double>& speedups,
                                int resamples = BootstrapResamples,
                                unsigned long long seed = BootstrapSeed);

// "two readers at once were 1.18x as fast (95% CI 1.10-1.27)" and its two siblings.
std::string SpeedupConclusion(const SpeedupEstimate& estimate);

// Whether the interval answers the question: it excludes 1, or is narrow (half-width at most
// 3% of the median).
bool SpeedupSettled(const SpeedupEstimate& estimate);

// Standard deviation over mean; 0 for fewer than two values.
double CoefficientOfVariation(const std::vector<double>& values);

} // namespace tools
