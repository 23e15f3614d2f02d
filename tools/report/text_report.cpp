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

std::string Ordinal(int n) {
    const char* suffix = n % 100 / 10 == 1 ? "th"
                         : n % 10 == 1     ? "st"
                         : n % 10 == 2     ? "nd"
                         : n % 10 == 3     ? "rd"
                                           : "th";
    return std::to_string(n) + suffix;
}

// The speed-up's figures under the verdict, each labelled: the median, the interval, which runs
// bound it and at what level.
void WriteSpeedupFigures(FILE* out, const SpeedupEstimate& e) {
    fprintf(out, "  speed-up (serial / parallel total): median %.3f over %d run%s", e.median,
            e.runs, e.runs == 1 ? "" : "s");
    if (e.rank == 0) {
        fprintf(out, "; no interval\n");
        return;
    }
    fprintf(out, "; %s%% CI %s, the %s and %s of the %d in order", ConfidenceText(e.level).c_str(),
            IntervalText(e.low, e.high).c_str(), Ordinal(e.rank).c_str(),
            Ordinal(e.runs + 1 - e.rank).c_str(), e.runs);
    if (e.sequential) {
        fprintf(out,
                ";\n  each look at the %s level, so that all looks from run %d to %d together "
                "wrongly exclude the true median at most %.2f%% of the time\n",
                LevelText(e.perLookLevel).c_str(), e.firstLook, e.lastLook, e.errorBound * 100);
    } else {
        fprintf(out, " (it misses the true median %.2f%% of the time)\n", e.errorBound * 100);
    }
}

} // namespace

void WriteText(FILE* out, const Comparison& comparison, const TickCalibration& clock) {
    const int runs =
        comparison.deliverables.empty() ? 0 : (int)comparison.deliverables[0].runs.size();
    fprintf(out, "%d run%s of each in %s (%s); %s\n", runs, runs == 1 ? "" : "s",
            TerminalText(comparison.directory).c_str(), comparison.stoppedBy.c_str(),
            EvictionText(comparison).c_str());
    fprintf(out, "Time-stamp counter: %.3f GHz%s, calibrated over %.0f ms; %.1f MB per phase\n",
            clock.ticksPerSecond / 1e9, clock.invariant ? " (invariant)" : " (NOT invariant)",
            clock.overMilliseconds, (double)comparison.bytesPerPhase / 1e6);
    for (const DeliverableRuns& deliverable : comparison.deliverables) {
        const Summary& s = deliverable.summary;
        fprintf(out, "\n%s\n  %s\n", deliverable.name.c_str(), deliverable.conclusion.c_str());
        WriteSpeedupFigures(out, deliverable.speedup);
        fprintf(out, "  storage: %s\n",
                StorageText(deliverable.storage, comparison.unmeasured).c_str());
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
            fprintf(out,
                    "  median percentage (the outcome lines: the slower phase's total over "
                    "the faster's): %s\n",
                    Percentage(s.medianPercentage).c_str());
        }
    }
}

std::string SpeedupCell(const SpeedupEstimate& e) {
    char text[64];
    snprintf(text, sizeof text, "%.2f", e.median);
    return text + (e.rank > 0 ? " (" + IntervalText(e.low, e.high) + ")" : " (no interval)");
}

std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable) {
    std::vector<std::pair<unsigned long long, std::string>> verdicts;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            if (d.name == deliverable) {
                verdicts.push_back({comparison.fileSize, VerdictPhrase(d.speedup)});
            }
        }
    }
    if (verdicts.empty()) {
        return "";
    }
    // The verdict at the largest size, and how far down it holds.
    const std::string answer = verdicts.back().second;
    size_t from = verdicts.size() - 1;
    while (from > 0 && verdicts[from - 1].second == answer) {
        --from;
    }
    if (from == 0) {
        return verdicts.size() > 1 ? "at every size, " + answer : "";
    }
    if (answer == VerdictPhrase(SpeedupEstimate()) || answer == "no clear difference") {
        return "";
    }
    return "from " + FormatSize(verdicts[from].first) + " on, " + answer;
}

void WriteSweepTable(FILE* out, const std::vector<Comparison>& sweep) {
    fprintf(out, "\n%-10s %-15s %-24s %s\n", "size", "deliverable", "speed-up (CI)", "verdict");
    std::vector<std::string> names;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            fprintf(out, "%-10s %-15s %-24s %s\n", FormatSize(comparison.fileSize).c_str(),
                    d.name.c_str(), SpeedupCell(d.speedup).c_str(),
                    VerdictPhrase(d.speedup).c_str());
            if (std::find(names.begin(), names.end(), d.name) == names.end()) {
                names.push_back(d.name);
            }
        }
    }
    for (const std::string& name : names) {
        const std::string crossover = Crossover(sweep, name);
        fprintf(out, "%s: %s\n", name.c_str(),
                crossover.empty() ? "no one size from which the verdict holds" : crossover.c_str());
    }
}

} // namespace tools
