// readrace_compare's measuring: the deliverables run again and again in one directory, or in a
// folder per file size of a sweep, each run from an evicted cache, with its storage traffic.
#pragma once

#include "compare/options.h"

#include <string>
#include <vector>

namespace compare {

// Each deliverable asked for (--deliverable), found beside this program, under --bin or in the
// build tree, into *found: 0, or 2 after saying which is missing.
int FindDeliverables(const Options& options, std::vector<tools::DeliverableRuns>* found);

// Runs the deliverables in directory until the rule stops them. Returns 0; 2 when the ten files
// are not there; 1 when a run failed or the cache could not be emptied; or 128 plus the signal
// of an interrupt. sayUnmeasured: whether to say that storage traffic is not measured there.
int RunComparison(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const std::string& directory, const tools::TickCalibration& clock,
                  tools::Comparison* comparison, bool sayUnmeasured = true);

// The sweep of --sizes, in a fresh folder of its own inside DIR, the files of each size made,
// compared and removed (unless --keep): the same statuses as RunComparison.
int RunSweep(const Options& options, const std::vector<tools::DeliverableRuns>& found,
             const tools::TickCalibration& clock, std::vector<tools::Comparison>* sweep);

} // namespace compare
