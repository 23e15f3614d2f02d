#include "prepare/prepare_files.h"

#include "common/output_file.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "common/dir_lock.h"
#include "common/file_set.h"
#include "common/file_ops.h"
#include "common/interrupts.h"

#include <chrono>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace tools {

namespace {

constexpr size_t BlockSize = 1 << 20;

// xoshiro256**: fast enough to outrun the storage; its output does not compress.
struct RandomBytes {
    unsigned long long state[4];
};

unsigned long long NextWord(RandomBytes* random) {
    unsigned long long* s = random->state;
    auto rotate = [](unsigned long long x, int k) { return (x << k) | (x >> (64 - k)); };
    const unsigned long long result = rotate(s[1] * 5, 7) * 9;
    const unsigned long long t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotate(s[3], 45);
    return result;
}

int FailOn(const std::string& program, const std::string& path, const std::string& what,
           const std::string& reason) {
    Complain(program, path, what + ": " + reason);
    return 1;
}

void ShowProgress(int file, unsigned long long written, unsigned long long size) {
    const double done = size == 0 ? 1.0 : (double)written / (double)size;
    const int filled = (int)(done * 30);
    fprintf(stderr, "\r[%.*s%*s] %s %3d%% (%d of %d)", filled, "##############################",
            30 - filled, "", FileName(file).c_str(), (int)(done * 100), file + 1, FileCount);
    fflush(stderr);
}

int Interrupted(const std::string& program, int signal, const std::string& partial, int index,
                bool progress) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    const std::string complete = index > 0
                                     ? FileName(0) + " to " + FileName(index - 1) + " are complete"
                                     : "no file was complete";
    if (progress) {
        fprintf(stderr, "\n");
    }
    Complain(program, "", "interrupted: removed the unfinished " + partial + "; " + complete);
    return 128 + signal;
}

// One file under a temporary name, renamed into place, so that no "N.tmp" is ever partial.
int WriteOneFile(const std::string& program, const fs::path& dir, int index,
                 unsigned long long size, RandomBytes* random, bool progress) {
    const std::string name = FileName(index);
    const std::string finalPath = (dir / name).string();
    // Named for this process, so that no other run's unfinished file is ever taken for ours.
    PendingFile pending;
    const std::string created = BeginWholeFile(
        finalPath, "." + name + "." + std::to_string(ProcessId()) + ".partial", &pending);
    if (!created.empty()) {
        return FailOn(program, pending.temporary, "cannot create", created);
    }
    std::vector<unsigned long long> block(BlockSize / sizeof(unsigned long long));
    unsigned long long written = 0;
    while (written < size) {
        if (const int signal = PendingInterrupt()) {
            AbandonWholeFile(&pending);
            return Interrupted(program, signal, pending.temporary, index, progress);
        }
        for (unsigned long long& word : block) {
            word = NextWord(random);
        }
        const size_t chunk = size - written < BlockSize ? (size_t)(size - written) : BlockSize;
        const std::string problem = WriteAll(pending.file, block.data(), chunk);
        if (!problem.empty()) {
            AbandonWholeFile(&pending);
            return FailOn(program, pending.temporary, "cannot write", problem);
        }
        written += chunk;
        if (progress && (written % (16 * BlockSize) == 0 || written == size)) {
            ShowProgress(index, written, size);
        }
    }
    if (const int signal = PendingInterrupt()) {
        AbandonWholeFile(&pending);
        return Interrupted(program, signal, pending.temporary, index, progress);
    }
    const std::string stored = CommitWholeFile(&pending);
    if (!stored.empty()) {
        Complain(program, stored.rfind("cannot rename", 0) == 0 ? finalPath : pending.temporary,
                 stored);
        return 1;
    }
    const std::string evicted = EvictFile(finalPath);
    if (!evicted.empty()) {
        Complain(program, "warning: " + finalPath, "cannot evict from the cache: " + evicted);
    }
    return 0;
}

// Past the checks of the directory, with its lock held.
int WriteFiles(const std::string& program, const fs::path& dir, unsigned long long size, bool force,
               bool progress) {
    std::error_code error;
    unsigned long long replaced = 0;
    for (int i = 0; i < FileCount; ++i) {
        const fs::path file = dir / FileName(i);
        if (fs::exists(fs::symlink_status(file, error))) {
            if (!force) {
                Complain(program, file.string(), "already exists; use --force to replace it");
                return 2;
            }
            if (fs::is_regular_file(fs::symlink_status(file, error))) {
                replaced += fs::file_size(file, error);
            }
        }
    }
    // Each file is written beside the one it replaces, so one extra file's room is needed.
    const fs::space_info space = fs::space(dir, error);
    const unsigned long long needed = (FileCount + 1ull) * size;
    if (!error && space.available + replaced < needed) {
        Complain(program, dir.string(),
                 "too little free space: " + FormatSize(needed) + " needed, " +
                     FormatSize(space.available + replaced) + " available");
        return 2;
    }

    RandomBytes random;
    std::seed_seq seed{
        (unsigned long long)std::random_device{}(),
        (unsigned long long)std::chrono::steady_clock::now().time_since_epoch().count()};
    // The seed sequence gives 32-bit words: two make each word of the state.
    std::uint_least32_t words[8];
    seed.generate(std::begin(words), std::end(words));
    for (int i = 0; i < 4; ++i) {
        random.state[i] = (unsigned long long)words[2 * i] << 32 | words[2 * i + 1];
    }
    for (int i = 0; i < FileCount; ++i) {
        const int written = WriteOneFile(program, dir, i, size, &random, progress);
        if (written != 0) {
            return written;
        }
    }
    if (progress) {
        fprintf(stderr, "\n");
    }
    return 0;
}

} // namespace

std::string FileSizeBounds() {
    return "SIZE is 1 byte or more, and at most " + std::to_string(LargestFileSize) +
           " (4GiB - 2B): readrace reads a file whole only below 4 GiB - 1 byte.";
}

std::string SizesHelp() {
    return "Sizes:\n  SIZE is " + tools::SizeForms() +
           ". 32M and 32MiB are 33554432 bytes, 32MB is 32000000. " + FileSizeBounds() + "\n\n";
}

int PrepareFiles(const std::string& program, const std::string& dirText, unsigned long long size,
                 bool force, bool progress) {
    // From here on an interrupt waits for the writer to clean up.
    if (const int signal = PendingInterrupt()) {
        return 128 + signal;
    }
    const fs::path dir(dirText);
    std::error_code error;
    const fs::file_status status = fs::status(dir, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        Complain(program, dirText, "not a directory");
        return 2;
    }
    if (!fs::exists(status)) {
        fs::create_directories(dir, error);
        if (error) {
            Complain(program, dirText, "cannot make the directory: " + error.message());
            return 2;
        }
    }
    DirectoryLock lock;
    if (const int refused = LockForRun(program, dirText, &lock)) {
        return refused;
    }
    const int written = WriteFiles(program, dir, size, force, progress);
    UnlockDirectory(&lock);
    return written;
}

} // namespace tools
