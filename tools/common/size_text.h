// Sizes as coreutils and fio write them: "64M", "64MiB", "64MB", "4096B", "4096".
#pragma once

#include <optional>
#include <string>

namespace tools {

// The size in bytes, or nothing for a malformed text or one past what 64 bits hold. K, M, G and
// T are powers of 1024, as are KiB to TiB; KB to TB are powers of 1000; B and no unit are bytes.
std::optional<unsigned long long> ParseSize(const std::string& text);

// The forms ParseSize takes, in words, for help and error messages.
std::string SizeForms();

// "64 MiB", "1.5 GiB", "123 B": for messages.
std::string FormatSize(unsigned long long bytes);

} // namespace tools
