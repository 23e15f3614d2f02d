#include "runs/speedup_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace tools {

namespace {

// Linear between the two nearest order statistics of sorted values.
double Quantile(const std::vector<double>& sorted, double p) {
    const double position = p * (double)(sorted.size() - 1);
    const size_t below = (size_t)position;
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (position - (double)below);
}

} // namespace

SpeedupEstimate EstimateSpeedup(const std::vector<double>& speedups, int resamples,
                                unsigned long long seed) {
    SpeedupEstimate estimate;
    estimate.runs = (int)speedups.size();
    estimate.resamples = resamples;
    estimate.seed = seed;
    if (speedups.empty()) {
        return estimate;
    }
    estimate.median = MedianOf(speedups);
    std::mt19937_64 random(seed);
    std::vector<double> medians(resamples), sample(speedups.size());
    for (double& median : medians) {
        for (double& value : sample) {
            // The modulo's bias is below 1e-17 for any count of runs here.
            value = speedups[random() % speedups.size()];
        }
        median = MedianOf(sample);
    }
    std::sort(medians.begin(), medians.end());
    estimate.low = Quantile(medians, 0.025);
    estimate.high = Quantile(medians, 0.975);
    return estimate;
}

std::string SpeedupConclusion(const SpeedupEstimate& e) {
    char text[160];
    if (e.low > 1) {
        snprintf(text, sizeof text, "two readers at once were %.2fx as fast (95%% CI %.2f-%.2f)",
                 e.median, e.low, e.high);
    } else if (e.high < 1 && e.low > 0) {
        snprintf(text, sizeof text,
                 "one reader was %.2fx as fast as two at once (95%% CI %.2f-%.2f)", 1 / e.median,
                 1 / e.high, 1 / e.low);
    } else {
        snprintf(text, sizeof text, "no clear difference (95%% CI %.2f-%.2f spans 1)", e.low,
                 e.high);
    }
    return text;
}

bool SpeedupSettled(const SpeedupEstimate& e) {
    return e.runs > 0 && (e.low > 1 || e.high < 1 || (e.high - e.low) / 2 <= 0.03 * e.median);
}

double CoefficientOfVariation(const std::vector<double>& values) {
    if (values.size() < 2) {
        return 0;
    }
    double mean = 0;
    for (const double value : values) {
        mean += value;
    }
    mean /= (double)values.size();
    double squares = 0;
    for (const double value : values) {
        squares += (value - mean) * (value - mean);
    }
    const double deviation = std::sqrt(squares / (double)(values.size() - 1));
    return mean != 0 ? deviation / std::fabs(mean) : 0;
}

} // namespace tools
