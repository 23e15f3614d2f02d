// readrace_compare's report for people: per deliverable, the phases in ms and MB/s, the
// per-file medians, the verdict counts and the speed-up's conclusion; and the sweep's table.
#pragma once

#include "runs/comparison.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tools {

void WriteText(FILE* out, const Comparison& comparison, const TickCalibration& clock);

// One row per size and deliverable: speed-up, interval and conclusion; then the crossovers.
void WriteSweepTable(FILE* out, const std::vector<Comparison>& sweep);

// For one deliverable over sizes in rising order: "at every size, two readers faster" where the
// verdict never turns; "from 16 MiB on, two readers faster" where it turns at one size and holds
// from there on; "" otherwise.
std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable);

// "1.18 (1.10-1.27)", or "2.15 (no interval)"
std::string SpeedupCell(const SpeedupEstimate& estimate);

} // namespace tools
