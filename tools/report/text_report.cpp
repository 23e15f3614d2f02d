#include "report/text_report.h"

#include "common/safe_text.h"
#include "common/size_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

std::string Percentage(double value) {
    char text[32];
    snprintf(text, sizeof text, value == std::floor(value) ? "%.0f%%" : "%.1f%%", value);
    return text;
}

} // namespace

void WriteText(FILE* out, const Comparison& comparison, const TickCalibration& clock) {
    const int runs =
        comparison.deliverables.empty() ? 0 : (int)comparison.deliverables[0].runs.size();
    fprintf(out, "%d run%s of each in %s (%s); %s\n", runs, runs == 1 ? "" : "s",
            TerminalText(comparison.directory).c_str(), comparison.stoppedBy.c_str(),
            comparison.evicted ? "the ten files evicted from the page cache before each run"
                               : "the page cache left as it was (--no-evict)");
    fprintf(out, "Time-stamp counter: %.3f GHz%s, calibrated over %.0f ms; %.1f MB per phase\n",
            clock.ticksPerSecond / 1e9, clock.invariant ? " (invariant)" : " (NOT invariant)",
            clock.overMilliseconds, (double)comparison.bytesPerPhase / 1e6);
    for (const DeliverableRuns& deliverable : comparison.deliverables) {
        const Summary& s = deliverable.summary;
        fprintf(out, "\n%s\n", deliverable.name.c_str());
        fprintf(out, "  %-10s %12s %12s %12s %14s %12s %12s\n", "", "median ms", "min ms", "max ms",
                "median MB/s", "min MB/s", "max MB/s");
        const struct {
            const char* name;
            const Spread &ms, &rate;
        } phases[] = {{"parallel", s.parallelMs, s.parallelMBps},
                      {"serial", s.serialMs, s.serialMBps}};
        for (const auto& phase : phases) {
            fprintf(out, "  %-10s %12.2f %12.2f %12.2f %14.1f %12.1f %12.1f\n", phase.name,
                    phase.ms.median, phase.ms.min, phase.ms.max, phase.rate.median, phase.rate.min,
                    phase.rate.max);
        }
        fprintf(out, "  per-file median ms:\n  %-10s", "");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8s", FileName(i).c_str());
        }
        fprintf(out, "\n  %-10s", "parallel");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8.2f", s.fileParallelMs[i]);
        }
        fprintf(out, "\n  %-10s", "serial");
        for (int i = 0; i < 10; ++i) {
            fprintf(out, " %8.2f", s.fileSerialMs[i]);
        }
        fprintf(out, "\n  Serial was worse in %d of %d runs; Parallel was worse in %d of %d runs\n",
                s.serialWorse, s.runs, s.parallelWorse, s.runs);
        if (s.withPercentage > 0) {
            fprintf(out, "  median percentage: %s\n", Percentage(s.medianPercentage).c_str());
        }
        fprintf(out, "  speed-up (serial / parallel total): median %.3f over %d runs\n  %s\n",
                deliverable.speedup.median, deliverable.speedup.runs,
                deliverable.conclusion.c_str());
    }
}

std::string SpeedupCell(const SpeedupEstimate& e) {
    char text[64];
    snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", e.median, e.low, e.high);
    return text;
}

namespace {

// +1 when two readers at once were clearly faster, -1 when one was, 0 when the interval spans 1.
int Direction(const SpeedupEstimate& e) {
    return e.low > 1 ? 1 : e.high < 1 ? -1 : 0;
}

} // namespace

std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable) {
    std::vector<std::pair<unsigned long long, int>> directions;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            if (d.name == deliverable) {
                directions.push_back({comparison.fileSize, Direction(d.speedup)});
            }
        }
    }
    // The answer at the largest size, if it holds back to some size and differs just below it.
    if (directions.size() < 2 || directions.back().second == 0) {
        return "";
    }
    const int answer = directions.back().second;
    size_t from = directions.size() - 1;
    while (from > 0 && directions[from - 1].second == answer) {
        --from;
    }
    if (from == 0) {
        return "";
    }
    return "from " + FormatSize(directions[from].first) + " on, " +
           (answer > 0 ? "two readers at once were faster" : "one reader was faster than two");
}

void WriteSweepTable(FILE* out, const std::vector<Comparison>& sweep) {
    fprintf(out, "\n%-10s %-15s %-20s %s\n", "size", "deliverable", "speed-up (95% CI)",
            "conclusion");
    std::vector<std::string> names;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            fprintf(out, "%-10s %-15s %-20s %s\n", FormatSize(comparison.fileSize).c_str(),
                    d.name.c_str(), SpeedupCell(d.speedup).c_str(), d.conclusion.c_str());
            if (std::find(names.begin(), names.end(), d.name) == names.end()) {
                names.push_back(d.name);
            }
        }
    }
    for (const std::string& name : names) {
        const std::string crossover = Crossover(sweep, name);
        fprintf(out, "%s: %s\n", name.c_str(),
                crossover.empty() ? "no size where the answer turns" : crossover.c_str());
    }
}

} // namespace tools
