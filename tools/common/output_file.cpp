#include "common/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tools {

std::string WriteFileWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".partial";
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        return strerror(errno);
    }
    const bool written = fwrite(text.data(), 1, text.size(), out) == text.size();
    const int error = written ? 0 : errno;
    if (fclose(out) != 0 || !written) {
        const std::string reason = strerror(error != 0 ? error : errno);
        remove(temporary.c_str());
        return reason;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = strerror(errno);
        remove(temporary.c_str());
        return reason;
    }
    return "";
}

} // namespace tools
