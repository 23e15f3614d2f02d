#include "run_stats.h"

#include <algorithm>

namespace tools {

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    spread.median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    spread.min = values.front();
    spread.max = values.back();
    return spread;
}

Summary Summarize(const std::vector<RunOutput>& runs, double ticksPerSecond,
                  unsigned long long totalBytes) {
    Summary summary;
    summary.runs = (int)runs.size();
    const double msPerTick = 1000.0 / ticksPerSecond;
    auto rate = [totalBytes](double ms) {
        return ms > 0 ? (double)totalBytes / 1e6 / (ms / 1000) : 0;
    };
    std::vector<double> parallel, serial, parallelRate, serialRate, percentages;
    std::vector<double> fileParallel[10], fileSerial[10];
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
    for (int i = 0; i < 10; ++i) {
        summary.fileParallelMs[i] = SpreadOf(fileParallel[i]).median;
        summary.fileSerialMs[i] = SpreadOf(fileSerial[i]).median;
    }
    summary.withPercentage = (int)percentages.size();
    summary.medianPercentage = SpreadOf(percentages).median;
    return summary;
}

} // namespace tools
