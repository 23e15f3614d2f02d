#include "common/file_ops.h"

#include <cerrno>
#include <system_error>

namespace tools {

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

// The descriptors are the C runtime's on every system, so errno holds the reason.
std::string WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        errno = 0;
        const long written = WriteSome(file, bytes, size);
        if (written <= 0) {
            // A write of nothing, with no error, means a device that takes no more.
            return ErrorText(written < 0 && errno != 0 ? errno : EIO);
        }
        bytes += written;
        size -= (size_t)written;
    }
    return "";
}

} // namespace tools
