// Files read as untrusted input: only regular files, never waited on, never too large.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// Reads the whole of path into *text. The file is opened without blocking, so a FIFO or a
// device is refused at once rather than waited on, as are directories and files larger than
// limit bytes. "" when done, otherwise the reason.
std::string ReadRegularFile(const std::string& path, size_t limit, std::string* text);

} // namespace tools
