// Shared by the tests: scratch directories, input files of every kind, and runs in a child
// process with standard output and error captured.
#pragma once

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace harness {

struct Captured {
    int status = -1; // exit status, or 128 + the signal that ended the child
    std::string out;
    std::string err;
    long inputBlocks = 0; // 512-byte blocks the child read from storage
};

// A fresh directory under the build tree, removed with everything in it at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const {
        return path_;
    }
    std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }

  private:
    std::string path_;
};

// Kinds of directory entry a test can lay out.
enum class Entry { Random, Empty, Directory, Fifo, DanglingLink, LinkToDevZero, Sparse };

struct Layout {
    std::string name;
    Entry kind;
    unsigned long long size = 0; // for Random and Sparse
};

void WriteRandomFile(const std::string& path, unsigned long long size);
void MakeEntry(const std::string& directory, const Layout& entry);
void LayOut(const std::string& directory, const std::vector<Layout>& entries);
// Ten random files "0.tmp" to "9.tmp" of size bytes each.
void MakeTenFiles(const std::string& directory, unsigned long long size);

// Name -> what the entry is and, for files, a digest of its bytes.
std::map<std::string, std::string> Snapshot(const std::string& directory);

// Writes the file's dirty pages out and drops it from the page cache.
void EvictFromCache(const std::string& path);
// How many of the file's pages are in the page cache, and how many it has.
std::pair<size_t, size_t> CachedPages(const std::string& path);

struct RunOptions {
    std::vector<std::string> environment; // extra NAME=VALUE entries
    std::string stdoutPath;               // instead of a capture file
    bool closeStdout = false;
};

// Runs body in a forked child whose current directory is directory; its result is the exit
// status.
Captured RunInChild(const std::string& directory, const std::function<int()>& body,
                    const RunOptions& options = {});

// Runs a program with arguments in directory.
Captured RunProgram(const std::vector<std::string>& command, const std::string& directory,
                    const RunOptions& options = {});

// Runs the programs at the same time in directory, each with its own capture.
std::vector<Captured> RunTogether(const std::vector<std::vector<std::string>>& commands,
                                  const std::string& directory, const RunOptions& options = {});

// Starts a program in the background with its standard output in outPath and its standard
// error beside it in outPath + ".err"; returns its pid.
int StartProgram(const std::vector<std::string>& command, const std::string& directory,
                 const std::string& outPath, const RunOptions& options = {});
// Waits until the file holds text, up to seconds; false when it never does.
bool WaitForText(const std::string& path, const std::string& text, int seconds);
// Ends a program started in the background with the signal; returns its exit status, or 128
// plus the signal that ended it.
int StopProgram(int pid, int signal = SIGTERM);

std::vector<std::string> SplitLines(const std::string& text);

// Under CI (CI=true) a missing tool fails a test instead of skipping it.
bool InCi();

} // namespace harness
