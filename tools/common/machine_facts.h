// The facts about the machine that a report carries, so that reports from many machines can be
// told apart and merged.
#pragma once

#include <string>

namespace tools {

// Empty where unknown.
struct MachineFacts {
    std::string host, kernel, cpu;
    unsigned cores = 0;
    double tscHz = 0;
    std::string filesystem; // of the directory compared
    std::string device;     // its block device's model, where the system tells it
    std::string thp;        // transparent huge pages: "always", "madvise" or "never"
    std::string version;    // readrace's
};

MachineFacts GatherMachineFacts(const std::string& directory, double ticksPerSecond);

// What only the system can tell: host, kernel, cores, file system, device and huge pages.
void GatherSystemFacts(const std::string& directory, MachineFacts* facts);

// "host, CPU, 2 cores, ext4 on DEVICE, kernel, readrace 0.1.0": the line under a chart.
std::string MachineLine(const MachineFacts& machine);

// The transparent huge page setting in force: "always", "madvise" or "never"; "" where the
// system has no such setting or does not tell it.
std::string TransparentHugePages();

} // namespace tools
