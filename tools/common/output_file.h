// Report files written whole or not at all, so that no reader ever finds half a report.
#pragma once

#include <string>

namespace tools {

// Writes text to path under a temporary name beside it, checks every write and the close, and
// renames it into place. "" when done, otherwise the reason, in the system's words.
std::string WriteFileWhole(const std::string& path, const std::string& text);

} // namespace tools
