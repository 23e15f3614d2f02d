#include "common/machine_facts.h"

#include "common/version.h"

#include <cpuid.h>
#include <thread>

namespace tools {

namespace {

// The processor's brand string, as CPUID gives it on every system.
std::string CpuModel() {
    if ((unsigned)__get_cpuid_max(0x80000000u, nullptr) < 0x80000004u) {
        return "";
    }
    unsigned words[12] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        __cpuid(0x80000002u + leaf, words[4 * leaf], words[4 * leaf + 1], words[4 * leaf + 2],
                words[4 * leaf + 3]);
    }
    std::string brand((const char*)words, sizeof words);
    brand = brand.substr(0, brand.find('\0'));
    const size_t first = brand.find_first_not_of(' ');
    return first == std::string::npos
               ? ""
               : brand.substr(first, brand.find_last_not_of(' ') + 1 - first);
}

} // namespace

MachineFacts GatherMachineFacts(const std::string& directory, double ticksPerSecond) {
    MachineFacts facts;
    facts.cpu = CpuModel();
    facts.cores = std::thread::hardware_concurrency();
    facts.tscHz = ticksPerSecond;
    facts.version = Version();
    GatherSystemFacts(directory, &facts);
    return facts;
}

std::string MachineLine(const MachineFacts& m) {
    std::string line;
    auto add = [&line](const std::string& part) {
        if (!part.empty()) {
            line += (line.empty() ? "" : ", ") + part;
        }
    };
    add(m.host);
    add(m.cpu);
    add(m.cores > 0 ? std::to_string(m.cores) + " cores" : "");
    add(m.filesystem + (m.device.empty() ? "" : (m.filesystem.empty() ? "" : " on ") + m.device));
    add(m.kernel);
    add(m.version.empty() ? "" : "readrace " + m.version);
    return line;
}

} // namespace tools
