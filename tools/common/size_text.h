// Sizes as people write them: "64MiB", "512KiB", "4096B", "4096".
#pragma once

#include <optional>
#include <string>

namespace tools {

// The size in bytes, or nothing for a malformed text or one past what 64 bits hold.
std::optional<unsigned long long> ParseSize(const std::string& text);

// "64 MiB", "1.5 GiB", "123 B": for messages.
std::string FormatSize(unsigned long long bytes);

} // namespace tools
