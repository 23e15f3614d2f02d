#include "common/tick_clock.h"

#include <chrono>
#include <cpuid.h>
#include <thread>
#include <x86intrin.h>

namespace tools {

namespace {

bool HasInvariantCounter() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if ((unsigned)__get_cpuid_max(0x80000000u, nullptr) < 0x80000007u) {
        return false;
    }
    __cpuid(0x80000007u, eax, ebx, ecx, edx);
    return (edx & (1u << 8)) != 0;
}

} // namespace

TickCalibration CalibrateTicks(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    TickCalibration calibration;
    calibration.invariant = HasInvariantCounter();
    const Clock::time_point start = Clock::now();
    const unsigned long long startTicks = __rdtsc();
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    const unsigned long long stopTicks = __rdtsc();
    const Clock::time_point stop = Clock::now();
    const double seconds = std::chrono::duration<double>(stop - start).count();
    calibration.ticksPerSecond = seconds > 0 ? (double)(stopTicks - startTicks) / seconds : 0;
    calibration.overMilliseconds = seconds * 1000;
    return calibration;
}

} // namespace tools
