// Reading files whole. Input from outside is read only from regular files, never waited on, and
// never when too large.
#pragma once

#include <cstddef>
#include <string>

namespace tools {

// Reads the whole of path into *text. The file is opened without blocking, so a FIFO or a
// device is refused at once rather than waited on, as are directories and files larger than
// limit bytes. "" when done, otherwise the reason.
std::string ReadRegularFile(const std::string& path, size_t limit, std::string* text);

// The whole of a file the tool made itself, such as a program's captured output, whatever its
// size; "" where it cannot be read.
std::string ReadWholeFile(const std::string& path);

} // namespace tools
