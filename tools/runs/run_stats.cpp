#include "runs/run_stats.h"

#include <algorithm>

namespace tools {

double MedianOf(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    if (values.size() % 2 == 1) {
        return values[middle];
    }
    const double upper = values[middle];
    return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2;
}

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    spread.median = MedianOf(values);
    spread.min = *std::min_element(values.begin(), values.end());
    spread.max = *std::max_element(values.begin(), values.end());
    return spread;
}

Summary Summarize(const std::vector<RunOutput>& runs, double ticksPerSecond,
                  unsigned long long totalBytes) {
    Summary summary;
    summary.runs = (int)runs.size();
    // A report from elsewhere may carry no usable clock: then no time is known, rather than
    // an infinity.
    const double msPerTick = ticksPerSecond > 0 ? 1000.0 / ticksPerSecond : 0;
    auto rate = [totalBytes](double ms) {
        return ms > 0 ? (double)totalBytes / 1e6 / (ms / 1000) : 0;
    };
    std::vector<double> parallel, serial, parallelRate, serialRate, percentages;
    std::vector<double> fileParallel[FileCount], fileSerial[FileCount];
    for (const RunOutput& run : runs) {
        const double parallelMs = (double)run.parallelTotal * msPerTick;
        const double serialMs = (double)run.serialTotal * msPerTick;
        parallel.push_back(parallelMs);
        serial.push_back(serialMs);
        parallelRate.push_back(rate(parallelMs));
        serialRate.push_back(rate(serialMs));
        for (const FileTicks& time : run.parallel) {
            fileParallel[time.file].push_back((double)time.ticks * msPerTick);
        }
        for (const FileTicks& time : run.serial) {
            fileSerial[time.file].push_back((double)time.ticks * msPerTick);
        }
        (run.parallelWorse ? summary.parallelWorse : summary.serialWorse) += 1;
        if (run.hasPercentage) {
            percentages.push_back((double)run.percentage);
        }
    }
    summary.parallelMs = SpreadOf(parallel);
    summary.serialMs = SpreadOf(serial);
    summary.parallelMBps = SpreadOf(parallelRate);
    summary.serialMBps = SpreadOf(serialRate);
    for (int i = 0; i < FileCount; ++i) {
        summary.fileParallelMs[i] = SpreadOf(fileParallel[i]).median;
        summary.fileSerialMs[i] = SpreadOf(fileSerial[i]).median;
    }
    summary.withPercentage = (int)percentages.size();
    summary.medianPercentage = SpreadOf(percentages).median;
    return summary;
}

} // namespace tools
