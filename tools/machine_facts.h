// The facts about the machine that a report carries, so that reports from many machines can be
// told apart and merged.
#pragma once

#include "compare_json.h"

#include <string>

namespace tools {

// host, kernel, cpu, cores, tsc_hz, filesystem (of directory), device (its block device's
// model, where the system tells it), thp and readrace_version; null where unknown.
Json MachineFacts(const std::string& directory, double ticksPerSecond);

} // namespace tools
