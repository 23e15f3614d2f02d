// Statistics over repeated runs of one deliverable, in milliseconds and MB/s.
#pragma once

#include "runs/run_output.h"

#include <vector>

namespace tools {

struct Spread {
    double median = 0, min = 0, max = 0;
};

// The middle value, or the mean of the two middle ones; 0 for no values.
double MedianOf(std::vector<double> values);

// The median, minimum and maximum; zeros for no values.
Spread SpreadOf(std::vector<double> values);

struct Summary {
    int runs = 0;
    Spread parallelMs, serialMs;
    Spread parallelMBps, serialMBps;       // from the same runs: the fastest run has the max
    double fileParallelMs[FileCount] = {}; // per-file medians
    double fileSerialMs[FileCount] = {};
    int parallelWorse = 0, serialWorse = 0;
    int withPercentage = 0;
    double medianPercentage = 0;
};

// totalBytes is what one phase reads: the ten files' sizes together.
Summary Summarize(const std::vector<RunOutput>& runs, double ticksPerSecond,
                  unsigned long long totalBytes);

} // namespace tools
