#include "common/output_file.h"

#include "common/safe_text.h"
#include "common/file_ops.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace tools {

namespace {

// Makes a hidden temporary file beside path, exclusively, in *file.
std::string CreateBeside(const std::string& path, std::string* temporary, int* file) {
    const fs::path target(path);
    std::random_device random;
    std::string problem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[40];
        snprintf(suffix, sizeof suffix, ".%08x%08x.partial", random(), random());
        fs::path name = ".";
        name += target.filename();
        name += suffix;
        *temporary = (target.parent_path() / name).string();
        problem = CreateNewFile(*temporary, file);
        // Only a name already taken is worth another try.
        std::error_code ignored;
        if (problem.empty() || !fs::exists(fs::symlink_status(*temporary, ignored))) {
            return problem;
        }
    }
    return problem;
}

std::string Reason(int error) {
    return ErrorText(error);
}

} // namespace

std::string BeginWholeFile(const std::string& path, const std::string& temporaryName,
                           PendingFile* pending) {
    pending->path = path;
    pending->file = -1;
    if (temporaryName.empty()) {
        return CreateBeside(path, &pending->temporary, &pending->file);
    }
    pending->temporary = (fs::path(path).parent_path() / temporaryName).string();
    std::error_code ignored;
    fs::remove(pending->temporary, ignored);
    return CreateNewFile(pending->temporary, &pending->file);
}

std::string CommitWholeFile(PendingFile* pending) {
    std::string problem = SyncFile(pending->file);
    const std::string closed = CloseFile(pending->file);
    pending->file = -1;
    if (problem.empty()) {
        problem = closed;
    }
    std::error_code renamed;
    if (problem.empty()) {
        // Replaces an existing file on Windows too.
        fs::rename(pending->temporary, pending->path, renamed);
        problem = renamed ? "cannot rename into place: " + renamed.message() : "";
    } else {
        problem = "cannot write to storage: " + problem;
    }
    if (!problem.empty()) {
        AbandonWholeFile(pending);
        return problem;
    }
    const fs::path folder = fs::path(pending->path).parent_path();
    SyncDirectory(folder.empty() ? "." : folder.string());
    return "";
}

void AbandonWholeFile(PendingFile* pending) {
    if (pending->file >= 0) {
        CloseFile(pending->file);
        pending->file = -1;
    }
    std::error_code ignored;
    fs::remove(pending->temporary, ignored);
}

std::string WriteFileWhole(const std::string& path, const std::string& text) {
    PendingFile pending;
    std::string problem = BeginWholeFile(path, "", &pending);
    if (!problem.empty()) {
        return problem;
    }
    problem = WriteAll(pending.file, text.data(), text.size());
    if (!problem.empty()) {
        AbandonWholeFile(&pending);
        return problem;
    }
    return CommitWholeFile(&pending);
}

std::string CheckWritable(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return Reason(EISDIR);
    }
    std::string temporary;
    int file = -1;
    const std::string problem = CreateBeside(path, &temporary, &file);
    if (!problem.empty()) {
        return problem;
    }
    CloseFile(file);
    fs::remove(temporary, error);
    return "";
}

void BufferStdout() {
    // stdio's own buffer, which it writes and which lives as long as the program: a null
    // buffer would keep stdio's default size.
    static char buffer[1 << 20];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

int CloseStdout(const std::string& program, int status) {
    const bool failedBefore = ferror(stdout) != 0;
    errno = 0;
    int error = fflush(stdout) == 0 ? 0 : errno;
    // A closed standard output with nothing written to it is no error, as for coreutils.
    if (fclose(stdout) != 0 && error == 0 && errno != EBADF) {
        error = errno;
    }
    if (error == 0 && !failedBefore) {
        return status;
    }
    fprintf(stderr, "%s: standard output: %s\n", TerminalText(program).c_str(),
            error != 0 ? Reason(error).c_str() : "write error");
    return 1;
}

} // namespace tools
