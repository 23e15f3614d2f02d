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
    struct {
        const char* name;
        unsigned shift;
    } const units[] = {{"", 0}, {"B", 0}, {"KiB", 10}, {"MiB", 20}, {"GiB", 30}};
    for (const auto& known : units) {
        if (unit == known.name) {
            if (known.shift != 0 && value > (~0ull >> known.shift)) {
                return std::nullopt;
            }
            return value << known.shift;
        }
    }
    return std::nullopt;
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
