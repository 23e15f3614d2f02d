// The running program's own folder on Linux, from /proc.
#include "common/self_path.h"

#include <climits>
#include <unistd.h>

namespace tools {

const char* ExecutableSuffix() {
    return "";
}

std::string SelfDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string self(path, (size_t)length);
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

} // namespace tools
