// readrace_compare's charts, as SVG, written whole (WriteFileWhole): each returns "" when
// done, otherwise the reason.
#pragma once

#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

// Per-file times of both phases across runs: a dot per run and file, one chart per deliverable.
std::string WriteRunsSvg(const std::string& path, double ticksPerSecond,
                         const std::vector<DeliverableRuns>& deliverables);

// The sweep: speed-up against file size on a log axis, each with its interval, and a line at 1.
std::string WriteSweepSvg(const std::string& path, const std::vector<Comparison>& sweep);

} // namespace tools
