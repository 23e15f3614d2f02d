// readrace_compare on the file systems users have, each made on a loop device over an image in
// a scratch folder: the traffic measured on the devices that hold the files, readrace_nobuf's
// bypass of the page cache judged as the kernel itself behaves, and each program's caveat.
#include "harness.h"
#include "common/number_text.h"
#include "report/report_reader.h"
#include "storage_model/loop_disk.h"

#include <cstdlib>
#include <memory>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct FileSystemCase {
    const char* name;
    std::vector<std::string> mkfs;
    bool overlay; // an overlay whose upper layer is on the file system made
};

const FileSystemCase Cases[] = {
    {"ext4", {"mkfs.ext4", "-q", "-F", "-E", "nodiscard"}, false},
    {"xfs", {"mkfs.xfs", "-q", "-f", "-K"}, false},
    {"btrfs", {"mkfs.btrfs", "-q", "-f", "-K"}, false},
    {"overlay over ext4", {"mkfs.ext4", "-q", "-F", "-E", "nodiscard"}, true},
};

// Whether this kernel keeps a file out of the page cache when it is read with O_DIRECT on this
// file system: read apart from readrace, the answer readrace_nobuf's bypass is judged against.
// Into a fresh mapping, untouched, as readrace_nobuf's buffer is: btrfs falls back to the page
// cache when the buffer's pages are not yet there, but not when they are (as a sanitizer's
// allocator leaves them).
bool DirectReadBypassesCache(const std::string& path) {
    harness::EvictFromCache(path);
    const int file = open(path.c_str(), O_RDONLY | O_DIRECT);
    EXPECT_GE(file, 0) << path;
    const size_t size = 4 << 20;
    void* buffer = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(buffer, MAP_FAILED);
    while (file >= 0 && buffer != MAP_FAILED && read(file, buffer, size) > 0) {
    }
    munmap(buffer, size);
    close(file);
    const auto [cached, pages] = harness::CachedPages(path);
    return cached * 2 < pages;
}

// Makes the file system and its mounts, the ten files of 4 MiB, and compares, from inside a
// scope whose end unmounts and detaches whatever the test got to. The mount point has a space,
// which the mount table writes escaped.
void CheckFileSystem(const FileSystemCase& c, const harness::ScratchDir& dir) {
    const std::string image = dir / "disk.img";
    ASSERT_EQ(truncate(image.c_str(), 0), -1); // nothing there yet
    ASSERT_EQ(harness::RunCommand({"truncate", "--size", "512M", image}), "");
    harness::LoopDevice loop(image, false);
    ASSERT_EQ(loop.problem, "");
    std::vector<std::string> mkfs = c.mkfs;
    mkfs.push_back(loop.path);
    ASSERT_EQ(harness::RunCommand(mkfs), "");
    harness::Mount disk({loop.path}, dir / "disk fs");
    ASSERT_EQ(disk.problem, "");
    std::string data = dir / "disk fs/d";
    std::unique_ptr<harness::Mount> overlay;
    if (c.overlay) {
        for (const char* layer : {"lower", "upper", "work"}) {
            ASSERT_EQ(harness::RunCommand({"mkdir", dir / ("disk fs/" + std::string(layer))}), "");
        }
        overlay = std::make_unique<harness::Mount>(
            std::vector<std::string>{"-t", "overlay", "overlay", "-o",
                                     "lowerdir=" + dir / "disk fs/lower" +
                                         ",upperdir=" + dir / "disk fs/upper" +
                                         ",workdir=" + dir / "disk fs/work"},
            dir / "overlay");
        ASSERT_EQ(overlay->problem, "");
        data = dir / "overlay/d";
    }
    ASSERT_EQ(harness::RunCommand({READRACE_PREPARE, "--size", "4MiB", data}), "");
    const bool bypassed = DirectReadBypassesCache(data + "/0.tmp");
    const harness::Captured compare = harness::RunProgram(
        {READRACE_COMPARE, "--json", "--runs", "2", "--bin", READRACE_BIN, data}, dir.path());
    ASSERT_EQ(compare.status, 0) << compare.err;
    const tools::Json report = tools::Json::parse(compare.out);
    EXPECT_EQ(report["storage_devices"], tools::Json::array({loop.name}));
    EXPECT_EQ(report["machine"]["filesystem"], c.overlay ? "overlay" : c.name);
    std::string figures; // for the log: what each program read, as the docs' table gives it
    for (const tools::Json& d : report["deliverables"]) {
        const std::string name = d["name"];
        const tools::Json& summary = d["summary"];
        const std::string conclusion = summary["speedup"]["conclusion"];
        SCOPED_TRACE(name + ": " + conclusion);
        ASSERT_TRUE(summary["storage"].is_object()) << report["storage_unmeasured"];
        const double ratio = summary["storage"]["read_ratio"];
        figures += " | " + name + " read " + tools::Format("%.2f", ratio) + "x";
        // Nothing here was measured as a guess: no caveat says "may".
        EXPECT_EQ(conclusion.find("may"), std::string::npos);
        if (name == "readrace_seq" || !bypassed) {
            // The parallel phase read storage and the serial phase the cache.
            EXPECT_NEAR(ratio, 1.0, 0.15);
            EXPECT_NE(conclusion.find("its serial phase read what the parallel phase had cached"),
                      std::string::npos);
        } else {
            EXPECT_NEAR(ratio, 2.0, 0.2);
            EXPECT_EQ(conclusion.find("cache"), std::string::npos);
        }
        const tools::Json honoured = summary["bypass_honoured"];
        if (name == "readrace_seq") {
            EXPECT_TRUE(honoured.is_null());
        } else {
            EXPECT_EQ(honoured, bypassed);
            const std::string said = "read readrace_nobuf's files through the page cache";
            EXPECT_EQ(conclusion.find("this file system " + said) != std::string::npos, !bypassed);
            EXPECT_EQ(compare.err.find(said) != std::string::npos, !bypassed) << compare.err;
        }
    }
    printf("file system: %s | O_DIRECT reads %s the page cache%s\n", c.name,
           bypassed ? "bypass" : "go through", figures.c_str());
}

TEST(FileSystems, TrafficBypassAndCaveatOnEachFileSystem) {
    const std::string missing = harness::MissingForLoopDevices(
        {"losetup", "mount", "truncate", "mkfs.ext4", "mkfs.xfs", "mkfs.btrfs"});
    if (!missing.empty()) {
        if (harness::InCi()) {
            FAIL() << "CI checks every file system on loop devices, but " << missing;
        }
        GTEST_SKIP() << missing;
    }
    for (const FileSystemCase& c : Cases) {
        SCOPED_TRACE(c.name);
        harness::ScratchDir dir;
        CheckFileSystem(c, dir);
        EXPECT_FALSE(harness::MountLeftUnder(dir.path()));
        EXPECT_FALSE(harness::LoopDeviceLeft(dir / "disk.img"));
    }
}

} // namespace
