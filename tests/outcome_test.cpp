// The verdict line over the worked values, the edges of the arithmetic, and a zero divisor.
#include "harness.h"
#include "readrace.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(PrintOutcome, PrintsTheVerdictAndTheTruncatedPercentage) {
    const std::string parallelWorse = "Outcome: Parallel was worse. ";
    const std::string serialWorse = "Outcome: Serial was worse. ";
    struct {
        Ticks parallel, serial;
        std::string line;
    } const cases[] = {
        {200, 300, serialWorse + "150% as long as parallel."},
        {300, 200, parallelWorse + "150% as long as serial."},
        {500, 500, parallelWorse + "100% as long as serial."},
        {600, 599, parallelWorse + "100% as long as serial."},
        {333, 999, serialWorse + "300% as long as parallel."},
        {100000, 100999, serialWorse + "100% as long as parallel."}, // under 1.01 times
        {100000, 101000, serialWorse + "101% as long as parallel."},
        {123456789, 246913578, serialWorse + "200% as long as parallel."},
        {-3, 10, serialWorse + "-333% as long as parallel."},
        {100, -50, parallelWorse + "-200% as long as serial."},
        // 2^62 * 100 keeps only its low 64 bits: 0, then 0 / 3.
        {1ll << 62, 3, parallelWorse + "0% as long as serial."},
        // 1e17 * 100 wraps to -8446744073709551616; / 7 truncates toward zero.
        {100000000000000000ll, 7, parallelWorse + "-1206677724815650230% as long as serial."},
        // 2^61 * 100 wraps to INT64_MIN; over -1 it wraps again instead of trapping.
        {1ll << 61, -1, parallelWorse + "-9223372036854775808% as long as serial."},
        // A tie that wraps: LLONG_MAX * 100 keeps -100 as its low 64 bits.
        {LLONG_MAX, LLONG_MAX, parallelWorse + "0% as long as serial."},
        {5, 0, parallelWorse + "No percentage: serial total is 0."},
        {0, 0, parallelWorse + "No percentage: serial total is 0."},
        {0, 5, serialWorse + "No percentage: parallel total is 0."},
        {-5, 0, serialWorse + "0% as long as parallel."},
    };
    for (const auto& c : cases) {
        const harness::Captured run = harness::RunInChild(".", [&] {
            PrintOutcome(c.parallel, c.serial);
            return 0;
        });
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.line + "\n") << c.parallel << " / " << c.serial;
    }
}

} // namespace
