// Figures as text: one printf-style formatter, so that every report turns numbers into text the
// same way.
#pragma once

#include <ctime>
#include <string>

namespace tools {

// The text printf would print for format and its arguments, however long.
[[gnu::format(gnu_printf, 1, 2)]] std::string Format(const char* format, ...);

// "2026-12-08T11:54:10Z": ISO 8601 in UTC, to the second.
std::string IsoTimeUtc(std::time_t when);

} // namespace tools
