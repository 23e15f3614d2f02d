// readrace_compare's charts, as SVG: the same drawings go into the --svg file and the HTML page.
// Files are written whole (WriteFileWhole).
#pragma once

#include "common/machine_facts.h"
#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

// Text that any XML or HTML reader shows as written: markup characters escaped, control
// characters made spaces, and bytes that are not UTF-8 made U+FFFD.
std::string EscapeMarkup(const std::string& text);

// One row of the speed-up chart: each run's speed-up, and their median with its interval.
struct SpeedupRow {
    std::string label;
    std::vector<double> speedups;
    SpeedupEstimate estimate;
    std::string dotName = "run"; // what each dot is: a run, or one report of a group
};

// One row per program, or per size and program where there are several sizes.
std::vector<SpeedupRow> SpeedupRows(const std::vector<Comparison>& comparisons);

// "host, CPU, 2 cores, ext4 on DEVICE, kernel, readrace 0.1.0": the line under a chart.
std::string MachineLine(const MachineFacts& machine);

// "two readers faster", "one reader faster", "the same within 3%" or "no clear difference".
std::string VerdictLabel(const SpeedupEstimate& estimate);
const char* VerdictColour(Verdict verdict);

// Each is one <svg> element. The answer: every run's speed-up as a dot, the median and its
// interval per row, on a log axis with the line at 1 and the margin's band around it.
std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer);

// Every file's time per run and phase, a panel per program, on a scale that an outlier does
// not set: values far above the rest are drawn at the top edge and marked.
std::string FileTimesSvg(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables);

// The sweep: each program's median speed-up and interval against file size, both axes log.
std::string SweepSvg(const std::vector<Comparison>& sweep, const std::string& footer);

// The --svg file: the speed-ups above the per-file times, or with a sweep its chart. "" when
// written, otherwise the reason.
std::string WriteChartSvg(const std::string& path, const std::vector<Comparison>& comparisons,
                          bool sweep, double ticksPerSecond, const MachineFacts& machine);

} // namespace tools
