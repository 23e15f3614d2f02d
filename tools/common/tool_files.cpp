#include "common/tool_files.h"

namespace tools {

bool WriteAll(int file, const void* data, size_t size) {
    const char* bytes = (const char*)data;
    while (size > 0) {
        const long written = WriteSome(file, bytes, size);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= (size_t)written;
    }
    return true;
}

} // namespace tools
