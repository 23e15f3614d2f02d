#include "common/input_file.h"

#include "common/file_ops.h"
#include "common/size_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tools {

std::string ReadRegularFile(const std::string& path, size_t limit, std::string* text) {
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting for one.
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        return ErrorText(errno);
    }
    struct stat status;
    std::string problem;
    if (fstat(file, &status) != 0) {
        problem = ErrorText(errno);
    } else if (S_ISDIR(status.st_mode)) {
        problem = ErrorText(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
        problem = "not a regular file";
    } else if ((unsigned long long)status.st_size > limit) {
        problem = "larger than " + FormatSize(limit);
    }
    text->clear();
    char buffer[65536];
    while (problem.empty()) {
        const ssize_t got = read(file, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            problem = ErrorText(errno);
        } else if (got == 0) {
            break;
        } else if (text->size() + (size_t)got > limit) {
            problem = "larger than " + FormatSize(limit); // it grew while read
        } else {
            text->append(buffer, (size_t)got);
        }
    }
    close(file);
    return problem;
}

} // namespace tools
