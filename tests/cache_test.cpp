// The open hints do what they say: after the files are evicted, readrace_nobuf reads them from
// storage in both phases and leaves them out of the page cache; readrace_seq reads them from
// storage once and leaves them cached, so that its serial phase reads the cache.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned long long FileSize = 8 << 20;
constexpr long BlocksOfTenFiles = (long)(10 * FileSize / 512);

struct Residency {
    size_t cached = 0, pages = 0;
};

Residency TenFilesResidency(const harness::ScratchDir& dir) {
    Residency total;
    for (int i = 0; i < 10; ++i) {
        const auto [cached, pages] = harness::CachedPages(dir / (std::to_string(i) + ".tmp"));
        total.cached += cached;
        total.pages += pages;
    }
    return total;
}

void EvictTenFiles(const harness::ScratchDir& dir) {
    for (int i = 0; i < 10; ++i) {
        harness::EvictFromCache(dir / (std::to_string(i) + ".tmp"));
    }
}

TEST(OpenHints, UnbufferedReadsBypassTheCacheAndSequentialReadsFillIt) {
    harness::ScratchDir dir;
    harness::MakeTenFiles(dir.path(), FileSize);
    EvictTenFiles(dir);
    const Residency evicted = TenFilesResidency(dir);
    if (evicted.cached > evicted.pages / 10) {
        GTEST_SKIP() << "this file system keeps the files cached after eviction";
    }

    const harness::Captured nobuf = harness::RunProgram({READRACE_NOBUF}, dir.path());
    ASSERT_EQ(nobuf.status, 0) << nobuf.err;
    const Residency afterNobuf = TenFilesResidency(dir);
    EXPECT_LE(afterNobuf.cached, afterNobuf.pages / 20) << "unbuffered reads filled the cache";
    EXPECT_GE(nobuf.inputBlocks, 2 * BlocksOfTenFiles * 9 / 10)
        << "both phases should read storage";

    EvictTenFiles(dir);
    const harness::Captured seq = harness::RunProgram({READRACE_SEQ}, dir.path());
    ASSERT_EQ(seq.status, 0) << seq.err;
    const Residency afterSeq = TenFilesResidency(dir);
    EXPECT_GE(afterSeq.cached, afterSeq.pages * 9 / 10) << "sequential reads left no cache";
    EXPECT_GE(seq.inputBlocks, BlocksOfTenFiles * 9 / 10) << "the parallel phase read storage";
    EXPECT_LE(seq.inputBlocks, BlocksOfTenFiles * 3 / 2) << "the serial phase read storage";
    RecordProperty("nobuf_input_blocks", std::to_string(nobuf.inputBlocks));
    RecordProperty("seq_input_blocks", std::to_string(seq.inputBlocks));
}

} // namespace
