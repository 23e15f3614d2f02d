#include "harness.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <dirent.h>
#include <unistd.h>

#ifndef READRACE_TEST_SCRATCH
#error "READRACE_TEST_SCRATCH must name a directory for test files"
#endif

namespace harness {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + strerror(errno));
}

void RemoveTree(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) {
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        if (DIR* directory = opendir(path.c_str())) {
            while (dirent* entry = readdir(directory)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    RemoveTree(path + "/" + name);
                }
            }
            closedir(directory);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int StatusOf(int waited) {
    if (WIFEXITED(waited)) {
        return WEXITSTATUS(waited);
    }
    return WIFSIGNALED(waited) ? 128 + WTERMSIG(waited) : -1;
}

struct Child {
    pid_t pid;
    std::unique_ptr<ScratchDir> capture;
    bool capturedOut;
};

// Forks; the child goes to directory with its output in two files and runs child(), which
// does not return.
Child StartChild(const std::string& directory, const RunOptions& options,
                 const std::function<void()>& child) {
    Child started{-1, std::make_unique<ScratchDir>(), options.stdoutPath.empty()};
    const std::string outPath = *started.capture / "stdout";
    const std::string errPath = *started.capture / "stderr";
    fflush(stdout);
    fflush(stderr);
    started.pid = fork();
    if (started.pid < 0) {
        Fail("fork");
    }
    if (started.pid == 0) {
        const std::string target = options.stdoutPath.empty() ? outPath : options.stdoutPath;
        const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(directory.c_str()) != 0) {
            _exit(125);
        }
        dup2(out, 1);
        dup2(err, 2);
        // Nothing but the three standard descriptors, as a program started from a shell has.
        close_range(3, ~0u, 0);
        if (options.closeStdout) {
            close(1);
        }
        for (const std::string& setting : options.environment) {
            putenv(strdup(setting.c_str()));
        }
        child();
        _exit(126);
    }
    return started;
}

Captured FinishChild(const Child& child) {
    int waited = 0;
    rusage usage = {};
    while (wait4(child.pid, &waited, 0, &usage) < 0) {
        if (errno != EINTR) {
            Fail("wait4");
        }
    }
    Captured result;
    result.status = StatusOf(waited);
    result.out = child.capturedOut ? ReadWhole(*child.capture / "stdout") : std::string();
    result.err = ReadWhole(*child.capture / "stderr");
    result.inputBlocks = usage.ru_inblock;
    return result;
}

Captured Fork(const std::string& directory, const RunOptions& options,
              const std::function<void()>& child) {
    return FinishChild(StartChild(directory, options, child));
}

[[noreturn]] void Exec(const std::vector<std::string>& command) {
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
    _exit(127);
}

} // namespace

ScratchDir::ScratchDir() {
    mkdir(READRACE_TEST_SCRATCH, 0755);
    std::string pattern = std::string(READRACE_TEST_SCRATCH) + "/run-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        Fail("mkdtemp " + pattern);
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    RemoveTree(path_);
}

void WriteRandomFile(const std::string& path, unsigned long long size) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) {
        Fail("create " + path);
    }
    std::mt19937_64 random(std::hash<std::string>{}(path) ^ size);
    std::vector<unsigned long long> block(1 << 16);
    while (size > 0) {
        for (auto& word : block) {
            word = random();
        }
        const size_t bytes = size < block.size() * 8 ? (size_t)size : block.size() * 8;
        if (write(file, block.data(), bytes) != (ssize_t)bytes) {
            Fail("write " + path);
        }
        size -= bytes;
    }
    close(file);
}

void MakeEntry(const std::string& directory, const Layout& entry) {
    const std::string path = directory + "/" + entry.name;
    int result = 0;
    switch (entry.kind) {
    case Entry::Random:
        WriteRandomFile(path, entry.size);
        break;
    case Entry::Empty:
        WriteRandomFile(path, 0);
        break;
    case Entry::Directory:
        result = mkdir(path.c_str(), 0755);
        break;
    case Entry::Fifo:
        result = mkfifo(path.c_str(), 0644);
        break;
    case Entry::DanglingLink:
        result = symlink("no-such-target", path.c_str());
        break;
    case Entry::LinkToDevZero:
        result = symlink("/dev/zero", path.c_str());
        break;
    case Entry::Sparse:
        WriteRandomFile(path, 0);
        result = truncate(path.c_str(), (off_t)entry.size);
        break;
    }
    if (result != 0) {
        Fail("make " + path);
    }
}

void LayOut(const std::string& directory, const std::vector<Layout>& entries) {
    for (const Layout& entry : entries) {
        MakeEntry(directory, entry);
    }
}

void MakeTenFiles(const std::string& directory, unsigned long long size) {
    for (int i = 0; i < 10; ++i) {
        WriteRandomFile(directory + "/" + std::to_string(i) + ".tmp", size);
    }
}

std::map<std::string, std::string> Snapshot(const std::string& directory) {
    std::map<std::string, std::string> entries;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        Fail("opendir " + directory);
    }
    while (dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = directory + "/" + name;
        struct stat status;
        lstat(path.c_str(), &status);
        // Formatted in one go: GCC 12 at -O3 sees a false overlap (-Wrestrict) in chained
        // std::string concatenation here.
        char what[96];
        const bool digest = S_ISREG(status.st_mode) && status.st_size < (1 << 30);
        snprintf(what, sizeof what, digest ? "%lu %lld %zu" : "%lu %lld",
                 (unsigned long)status.st_mode, (long long)status.st_size,
                 digest ? std::hash<std::string>{}(ReadWhole(path)) : (size_t)0);
        entries[name] = what;
    }
    closedir(listing);
    return entries;
}

void EvictFromCache(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY);
    if (file < 0) {
        Fail("open " + path);
    }
    fdatasync(file);
    posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
    close(file);
}

std::pair<size_t, size_t> CachedPages(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY);
    struct stat status;
    if (file < 0 || fstat(file, &status) != 0) {
        Fail("open " + path);
    }
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    const size_t pages = ((size_t)status.st_size + page - 1) / page;
    void* map = mmap(nullptr, (size_t)status.st_size, PROT_READ, MAP_SHARED, file, 0);
    close(file);
    if (map == MAP_FAILED) {
        Fail("mmap " + path);
    }
    std::vector<unsigned char> resident(pages);
    mincore(map, (size_t)status.st_size, resident.data());
    munmap(map, (size_t)status.st_size);
    size_t cached = 0;
    for (unsigned char flag : resident) {
        cached += flag & 1;
    }
    return {cached, pages};
}

Captured RunInChild(const std::string& directory, const std::function<int()>& body,
                    const RunOptions& options) {
    return Fork(directory, options, [&] {
        // The child inherits streams that the test framework has made byte-oriented; reopened,
        // they take the orientation of the first print, as in a fresh process.
        if (freopen(nullptr, "w", stdout) == nullptr || freopen(nullptr, "w", stderr) == nullptr) {
            _exit(124);
        }
        const int status = body();
        fflush(stdout);
        fflush(stderr);
        _exit(status);
    });
}

Captured RunProgram(const std::vector<std::string>& command, const std::string& directory,
                    const RunOptions& options) {
    return Fork(directory, options, [&] { Exec(command); });
}

std::vector<Captured> RunTogether(const std::vector<std::vector<std::string>>& commands,
                                  const std::string& directory, const RunOptions& options) {
    std::vector<Child> children;
    for (const auto& command : commands) {
        children.push_back(StartChild(directory, options, [&] { Exec(command); }));
    }
    std::vector<Captured> results;
    for (const Child& child : children) {
        results.push_back(FinishChild(child));
    }
    return results;
}

int StartProgram(const std::vector<std::string>& command, const std::string& directory,
                 const std::string& outPath, const RunOptions& options) {
    const pid_t pid = fork();
    if (pid < 0) {
        Fail("fork");
    }
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(directory.c_str()) != 0) {
            _exit(125);
        }
        dup2(out, 1);
        dup2(err, 2);
        close_range(3, ~0u, 0);
        for (const std::string& setting : options.environment) {
            putenv(strdup(setting.c_str()));
        }
        Exec(command);
    }
    return pid;
}

bool WaitForText(const std::string& path, const std::string& text, int seconds) {
    for (int tenths = 0; tenths < seconds * 10; ++tenths) {
        if (ReadWhole(path).find(text) != std::string::npos) {
            return true;
        }
        usleep(100000);
    }
    return false;
}

int StopProgram(int pid, int signal) {
    kill(pid, signal);
    int waited = 0;
    waitpid(pid, &waited, 0);
    return WIFEXITED(waited) ? WEXITSTATUS(waited) : 128 + WTERMSIG(waited);
}

bool InCi() {
    const char* ci = getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace harness
