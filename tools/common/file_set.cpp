#include "common/file_set.h"

namespace tools {

std::string FileName(int file) {
    return std::to_string(file) + ".tmp";
}

} // namespace tools
