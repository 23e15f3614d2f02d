#include "common/input_file.h"

#include <cstdint>

namespace tools {

std::string ReadWholeFile(const std::string& path) {
    std::string text;
    return ReadRegularFile(path, SIZE_MAX, &text).empty() ? text : "";
}

} // namespace tools
