#include "common/output_file.h"

#include "common/safe_text.h"
#include "common/tool_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace tools {

namespace {

// Makes a hidden temporary file beside path, exclusively; its descriptor, or -1 with errno set.
int CreateBeside(const std::string& path, std::string* temporary) {
    const fs::path target(path);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[40];
        snprintf(suffix, sizeof suffix, ".%08x%08x.partial", random(), random());
        fs::path name = ".";
        name += target.filename();
        name += suffix;
        *temporary = (target.parent_path() / name).string();
        const int file = CreateNewFile(*temporary);
        if (file >= 0 || errno != EEXIST) {
            return file;
        }
    }
    return -1;
}

std::string Reason(int error) {
    return std::generic_category().message(error);
}

} // namespace

std::string WriteFileWhole(const std::string& path, const std::string& text) {
    std::string temporary;
    const int file = CreateBeside(path, &temporary);
    if (file < 0) {
        return Reason(errno);
    }
    errno = 0;
    int error = 0;
    if (!WriteAll(file, text.data(), text.size()) || !SyncFile(file)) {
        error = errno != 0 ? errno : EIO;
    }
    if (!CloseFile(file) && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    std::error_code renamed;
    if (error == 0) {
        // Replaces an existing file on Windows too.
        fs::rename(temporary, path, renamed);
    }
    if (error != 0 || renamed) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return error != 0 ? Reason(error) : renamed.message();
    }
    SyncDirectory(fs::path(path).parent_path().empty() ? "."
                                                       : fs::path(path).parent_path().string());
    return "";
}

std::string CheckWritable(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return Reason(EISDIR);
    }
    std::string temporary;
    const int file = CreateBeside(path, &temporary);
    if (file < 0) {
        return Reason(errno);
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
