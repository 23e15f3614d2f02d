#include "common/size_text.h"

#include <cstdio>

namespace tools {

std::optional<unsigned long long> ParseSize(const std::string& text) {
    size_t digits = 0;
    unsigned long long value = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        const unsigned long long digit = (unsigned long long)(text[digits] - '0');
        if (value > (~0ull - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    const std::string unit = text.substr(digits);
    const unsigned long long kibi = 1024, kilo = 1000;
    struct {
        const char* name;
        unsigned long long bytes;
    } const units[] = {
        {"", 1},
        {"B", 1},
        {"K", kibi},
        {"KiB", kibi},
        {"KB", kilo},
        {"M", kibi * kibi},
        {"MiB", kibi * kibi},
        {"MB", kilo * kilo},
        {"G", kibi * kibi * kibi},
        {"GiB", kibi * kibi * kibi},
        {"GB", kilo * kilo * kilo},
        {"T", kibi * kibi * kibi * kibi},
        {"TiB", kibi * kibi * kibi * kibi},
        {"TB", kilo * kilo * kilo * kilo},
    };
    for (const auto& known : units) {
        if (unit == known.name) {
            if (value > ~0ull / known.bytes) {
                return std::nullopt;
            }
            return value * known.bytes;
        }
    }
    return std::nullopt;
}

std::string SizeForms() {
    return "a whole number of bytes, or one with K, M, G, T (powers of 1024), KB, MB, GB, TB "
           "(powers of 1000), KiB, MiB, GiB, TiB or B";
}

std::string FormatSize(unsigned long long bytes) {
    const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = (double)bytes;
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0 || value == (double)(unsigned long long)value) {
        snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
    } else {
        snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return text;
}

} // namespace tools
