#include "report/report.h"

#include "common/number_text.h"
#include "common/safe_text.h"
#include "report/tables.h"
#include "report/run_text.h"
#include "report/verdict_text.h"
#include "common/size_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

std::string Percentage(double value) {
    return value == std::floor(value) ? Format("%.0f%%", value) : Format("%.1f%%", value);
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
void WriteSpeedupFigures(std::string* out, const SpeedupEstimate& e) {
    *out += Format("  speed-up (serial / parallel total): median %.3f over %d run%s", e.median,
                   e.runs, e.runs == 1 ? "" : "s");
    if (!HasInterval(e)) {
        *out += Format("; no interval\n");
        return;
    }
    *out += Format("; %s%% CI %s, the %s and %s of the %d in order",
                   ConfidenceText(e.level).c_str(), IntervalText(e.low, e.high).c_str(),
                   Ordinal(e.rank).c_str(), Ordinal(e.runs + 1 - e.rank).c_str(), e.runs);
    if (e.sequential) {
        *out +=
            Format(";\n  each look at the %s level, so that all looks from run %d to %d together "
                   "wrongly exclude the true median at most %.2f%% of the time\n",
                   LevelText(e.perLookLevel).c_str(), e.firstLook, e.lastLook, e.errorBound * 100);
    } else {
        *out += Format(" (it misses the true median %.2f%% of the time)\n", e.errorBound * 100);
    }
}

void WriteComparison(std::string* out, const Comparison& comparison, const TickCalibration& clock,
                     const Suggestions& suggest) {
    const int runs =
        comparison.deliverables.empty() ? 0 : (int)comparison.deliverables[0].runs.size();
    *out += Format("%d run%s of each in %s (%s); %s\n", runs, runs == 1 ? "" : "s",
                   TerminalText(comparison.directory).c_str(), comparison.stoppedBy.c_str(),
                   EvictionText(comparison).c_str());
    *out +=
        Format("Time-stamp counter: %.3f GHz%s, calibrated over %.0f ms; %.1f MB per phase\n",
               clock.ticksPerSecond / 1e9, clock.invariant ? " (invariant)" : " (NOT invariant)",
               clock.overMilliseconds, (double)comparison.bytesPerPhase / 1e6);
    for (const DeliverableRuns& deliverable : comparison.deliverables) {
        const Summary& s = deliverable.summary;
        *out += Format("\n%s\n  %s\n", deliverable.name.c_str(),
                       Conclusion(deliverable, suggest).c_str());
        WriteSpeedupFigures(out, deliverable.speedup);
        *out += Format(
            "  storage: %s\n",
            StorageText(deliverable.storage, comparison.devices, comparison.unmeasured).c_str());
        *out += Format("  %-10s %12s %12s %12s %14s %12s %12s\n", "", "median ms", "min ms",
                       "max ms", "median MB/s", "min MB/s", "max MB/s");
        const struct {
            const char* name;
            const Spread &ms, &rate;
        } phases[] = {{"parallel", s.parallelMs, s.parallelMBps},
                      {"serial", s.serialMs, s.serialMBps}};
        for (const auto& phase : phases) {
            *out += Format("  %-10s %12.2f %12.2f %12.2f %14.1f %12.1f %12.1f\n", phase.name,
                           phase.ms.median, phase.ms.min, phase.ms.max, phase.rate.median,
                           phase.rate.min, phase.rate.max);
        }
        *out += Format("  per-file median ms:\n  %-10s", "");
        for (int i = 0; i < FileCount; ++i) {
            *out += Format(" %8s", FileName(i).c_str());
        }
        *out += Format("\n  %-10s", "parallel");
        for (int i = 0; i < FileCount; ++i) {
            *out += Format(" %8.2f", s.fileParallelMs[i]);
        }
        *out += Format("\n  %-10s", "serial");
        for (int i = 0; i < FileCount; ++i) {
            *out += Format(" %8.2f", s.fileSerialMs[i]);
        }
        *out +=
            Format("\n  Serial was worse in %d of %d runs; Parallel was worse in %d of %d runs\n",
                   s.serialWorse, s.runs, s.parallelWorse, s.runs);
        if (s.withPercentage > 0) {
            *out += Format("  median percentage (the outcome lines: the slower phase's total over "
                           "the faster's): %s\n",
                           Percentage(s.medianPercentage).c_str());
        }
    }
}

void WriteSweepTable(std::string* out, const std::vector<Comparison>& sweep) {
    *out += Format("\n%-10s %-15s %-24s %s\n", "size", "deliverable",
                   ("speed-up (" + IntervalName(LevelsOf(sweep), "CI") + ")").c_str(), "verdict");
    std::vector<std::string> names;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            *out += Format("%-10s %-15s %-24s %s\n", FormatSize(comparison.fileSize).c_str(),
                           d.name.c_str(), SpeedupCell(d.speedup).c_str(),
                           VerdictPhrase(d.speedup).c_str());
            if (std::find(names.begin(), names.end(), d.name) == names.end()) {
                names.push_back(d.name);
            }
        }
    }
    for (const std::string& name : names) {
        const std::string crossover = Crossover(sweep, name);
        *out += Format("%s: %s\n", name.c_str(),
                       crossover.empty() ? "no one size from which the verdict holds"
                                         : crossover.c_str());
    }
}

// The rows under the header in columns two spaces apart, each cell as TerminalText shows it.
std::string AlignedTable(const std::vector<std::string>& header, const TableRows& rows) {
    TableRows shown = {header};
    for (const auto& row : rows) {
        shown.emplace_back();
        for (const std::string& cell : row) {
            shown.back().push_back(TerminalText(cell));
        }
    }
    std::vector<size_t> widths(header.size());
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string out;
    for (const auto& row : shown) {
        for (size_t i = 0; i < row.size(); ++i) {
            out += row[i];
            if (i + 1 < row.size()) {
                out.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        out += "\n";
    }
    return out;
}

} // namespace

std::string RenderText(const Report& report) {
    return std::visit(
        PerKind{[](const ComparisonReport& r) {
                    std::string text;
                    WriteComparison(&text, r.comparison, r.context.clock, r.context.suggest);
                    return text;
                },
                [](const SweepReport& r) {
                    std::string text;
                    for (const Comparison& comparison : r.sizes) {
                        WriteComparison(&text, comparison, r.context.clock, r.context.suggest);
                    }
                    WriteSweepTable(&text, r.sizes);
                    return text;
                },
                [](const MergeReport& r) {
                    const FleetTable table = MergedTable(r, false);
                    return AlignedTable(table.header, table.rows);
                }},
        report);
}

} // namespace tools
