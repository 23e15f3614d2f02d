// readrace_compare's command line: what was asked for, checked before any work is done.
#pragma once

#include "report/report.h"
#include "runs/speedup_stats.h"

#include <string>
#include <vector>

namespace compare {

inline const std::string Program = "readrace_compare";

struct Options {
    std::string runs = "auto";
    int fixedRuns = 0; // 0 for auto
    int maxRuns = 30;
    double maxSeconds = 600;
    std::string margin = "3%";
    double level = tools::DefaultLevel;
    tools::SpeedupPlan plan; // from the options above
    // Above the deliverables' own 60-second wait for their workers.
    double runTimeout = 120;
    std::string deliverable = "both";
    bool json = false;
    bool evict = true;
    bool keep = false;
    bool merge = false;
    bool check = false;
    bool sweep = false;                         // --sizes was given
    std::vector<unsigned long long> sweepSizes; // --sizes, in rising order, each once
    std::string bin, svg, markdown, sizes, html, csv, label;
    std::vector<std::string> groupBy;
    std::vector<std::string> paths; // DIR, or the reports to merge
    tools::PageOrigin origin;       // when it began, and the command line
};

// Parses and checks the command line into *options: -1 to go on, otherwise the exit status
// (0 after --help or --version, 2 after saying what is wrong).
int ParseOptions(int argc, char** argv, Options* options);

} // namespace compare
