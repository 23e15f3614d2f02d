// readrace_compare's charts, as SVG: the same drawings go into the --svg file and the HTML page.
#pragma once

#include "report/charts/svg_draw.h"
#include "runs/comparison.h"

#include <span>
#include <string>
#include <vector>

namespace tools {

// What a row's bar spans: a comparison's confidence interval for the median of its runs, or a
// group's range, from its lowest report's speed-up to its highest, which is no interval.
enum class SpeedupBar { Interval, Range };

// One row of the speed-up chart: each run's speed-up (or each report's median, for a group), and
// their median with its interval (or range).
struct SpeedupRow {
    std::string label;
    std::vector<double> speedups;
    SpeedupEstimate estimate; // a range's ends are its low and high, with no rank
    SpeedupBar bar = SpeedupBar::Interval;
    std::string note;   // what the chart must not hide about the row, or ""
    size_t reports = 0; // a range's: how many reports its dots come from (one a size and program)
};

// One row per program, or per size and program where there are several sizes.
std::vector<SpeedupRow> SpeedupRows(std::span<const Comparison> comparisons);

// The answer: every run's speed-up as a dot, the median and its interval per row, on a log axis
// with the line at 1 and the margin's band around it.
svg::Chart SpeedupChart(const std::vector<SpeedupRow>& rows, const std::string& footer);

// Every file's time per run and phase, a panel per program, on a scale that an outlier does
// not set: values far above the rest are drawn at the top edge and marked.
svg::Chart FileTimesChart(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables);

// The sweep: each program's median speed-up and interval against file size, both axes log.
svg::Chart SweepChart(const std::vector<Comparison>& sweep, const std::string& footer);

// Each chart alone as one <svg> element.
std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer);
std::string FileTimesSvg(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables);
std::string SweepSvg(const std::vector<Comparison>& sweep, const std::string& footer);

} // namespace tools
