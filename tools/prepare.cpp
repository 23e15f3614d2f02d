// readrace_prepare: writes the ten input files, "0.tmp" to "9.tmp", of incompressible data,
// every byte on storage, and leaves them out of the page cache.
#include "size_text.h"
#include "tool_files.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* Program = "readrace_prepare";
constexpr unsigned long long DefaultSize = 64ull << 20;
// readrace reads a file whole only while its length fits 32 bits and is not all ones.
constexpr unsigned long long LargestSize = 0xFFFFFFFEull;
constexpr size_t BlockSize = 1 << 20;

void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: %s [--size SIZE] [--force] DIR\n"
            "  Writes 0.tmp to 9.tmp of SIZE each (default 64MiB; B, KiB, MiB, GiB) into DIR.\n"
            "  --force  replace files that are already there\n",
            Program);
}

int Refuse(const std::string& message) {
    fprintf(stderr, "%s: %s\n", Program, message.c_str());
    return 2;
}

int FailOn(const std::string& path, const std::string& what) {
    fprintf(stderr, "%s: %s: %s: %s\n", Program, path.c_str(), what.c_str(), strerror(errno));
    return 1;
}

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

void ShowProgress(int file, unsigned long long written, unsigned long long size) {
    const double done = size == 0 ? 1.0 : (double)written / (double)size;
    const int filled = (int)(done * 30);
    fprintf(stderr, "\r[%.*s%*s] %d.tmp %3d%% (%d of 10)", filled, "##############################",
            30 - filled, "", file, (int)(done * 100), file + 1);
    fflush(stderr);
}

// Writes one file under a temporary name and renames it into place, so that an interrupted
// run never leaves a partial "N.tmp".
int WriteOneFile(const fs::path& dir, int index, unsigned long long size, RandomBytes* random,
                 bool progress) {
    const std::string name = std::to_string(index) + ".tmp";
    const std::string finalPath = (dir / name).string();
    std::string partialName = ".";
    partialName += name;
    partialName += ".partial";
    const std::string tempPath = (dir / partialName).string();
    std::error_code ignored;
    fs::remove(tempPath, ignored);
    const int file = tools::CreateNewFile(tempPath);
    if (file < 0) {
        return FailOn(tempPath, "cannot create");
    }
    std::vector<unsigned long long> block(BlockSize / sizeof(unsigned long long));
    unsigned long long written = 0;
    while (written < size) {
        for (unsigned long long& word : block) {
            word = NextWord(random);
        }
        const size_t chunk = size - written < BlockSize ? (size_t)(size - written) : BlockSize;
        if (!tools::WriteAll(file, block.data(), chunk)) {
            const int status = FailOn(tempPath, "cannot write");
            tools::CloseFile(file);
            fs::remove(tempPath, ignored);
            return status;
        }
        written += chunk;
        if (progress && (written % (16 * BlockSize) == 0 || written == size)) {
            ShowProgress(index, written, size);
        }
    }
    if (!tools::SyncFile(file) || !tools::CloseFile(file)) {
        const int status = FailOn(tempPath, "cannot write to storage");
        fs::remove(tempPath, ignored);
        return status;
    }
    std::error_code renamed;
    fs::rename(tempPath, finalPath, renamed);
    if (renamed) {
        fprintf(stderr, "%s: %s: cannot rename into place: %s\n", Program, finalPath.c_str(),
                renamed.message().c_str());
        fs::remove(tempPath, ignored);
        return 1;
    }
    tools::SyncDirectory(dir.string());
    if (!tools::EvictFile(finalPath) && index == 0) {
        fprintf(stderr, "%s: warning: cannot evict the files from the page cache here\n", Program);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long long size = DefaultSize;
    bool force = false;
    std::string dirText;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--size" && i + 1 < argc) {
            const auto parsed = tools::ParseSize(argv[++i]);
            if (!parsed) {
                return Refuse(std::string("malformed size '") + argv[i] +
                              "': give a whole number with B, KiB, MiB or GiB");
            }
            size = *parsed;
        } else if (argument == "--force") {
            force = true;
        } else if (argument == "--help" || argument == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (!argument.empty() && argument[0] != '-' && dirText.empty()) {
            dirText = argument;
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (dirText.empty()) {
        PrintUsage(stderr);
        return 2;
    }
    if (size > LargestSize) {
        return Refuse("size " + tools::FormatSize(size) +
                      " is too large: readrace reads a file whole only below 4 GiB - 1 byte");
    }
    const fs::path dir(dirText);
    std::error_code error;
    if (!fs::is_directory(dir, error)) {
        return Refuse(dirText + ": not a directory");
    }
    unsigned long long replaced = 0;
    for (int i = 0; i < 10; ++i) {
        const fs::path file = dir / (std::to_string(i) + ".tmp");
        if (fs::exists(fs::symlink_status(file, error))) {
            if (!force) {
                return Refuse(file.string() + ": already exists; use --force to replace it");
            }
            if (fs::is_regular_file(fs::symlink_status(file, error))) {
                replaced += fs::file_size(file, error);
            }
        }
    }
    // Each file is written beside the one it replaces, so one extra file's room is needed.
    const fs::space_info space = fs::space(dir, error);
    const unsigned long long needed = 10 * size + size;
    if (!error && space.available + replaced < needed) {
        return Refuse(dirText + ": too little free space: " + tools::FormatSize(needed) +
                      " needed, " + tools::FormatSize(space.available + replaced) + " available");
    }

    RandomBytes random;
    std::seed_seq seed{
        (unsigned long long)std::random_device{}(),
        (unsigned long long)std::chrono::steady_clock::now().time_since_epoch().count()};
    seed.generate((unsigned*)random.state, (unsigned*)(random.state + 4));
    const bool progress = tools::IsTerminal(2);
    for (int i = 0; i < 10; ++i) {
        const int status = WriteOneFile(dir, i, size, &random, progress);
        if (status != 0) {
            return status;
        }
    }
    if (progress) {
        fprintf(stderr, "\n");
    }
    return 0;
}
