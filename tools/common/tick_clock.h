// The time-stamp counter as a clock: how fast it ticks, and whether it ticks steadily.
#pragma once

namespace tools {

struct TickCalibration {
    double ticksPerSecond = 0;
    double overMilliseconds = 0; // how long the calibration took
    bool invariant = false;      // CPUID says the counter runs at one rate in every state
};

// Counts the counter's ticks against the monotonic clock over about milliseconds.
TickCalibration CalibrateTicks(int milliseconds);

} // namespace tools
