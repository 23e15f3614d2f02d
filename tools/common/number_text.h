// Figures as text: one printf-style formatter, so that every report turns numbers into text the
// same way.
#pragma once

#include <ctime>
#include <string>

namespace tools {

// The formats are checked as the C99 ones that glibc and mingw-w64's own printf take (%zu, %lld).
// GCC's plain "printf" would mean msvcrt's on Windows, which lacks them, and clang knows no
// "gnu_printf": so the name differs by compiler, here alone.
#if defined(__clang__)
#define TOOLS_PRINTF_FORMAT printf
#else
#define TOOLS_PRINTF_FORMAT gnu_printf
#endif

// The text printf would print for format and its arguments, however long.
[[gnu::format(TOOLS_PRINTF_FORMAT, 1, 2)]] std::string Format(const char* format, ...);

// "2026-12-08T11:54:10Z": ISO 8601 in UTC, to the second.
std::string IsoTimeUtc(std::time_t when);

} // namespace tools
