#include "common/number_text.h"

#include <cstdarg>
#include <cstdio>

namespace tools {

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? (size_t)length : 0, '\0');
    if (length > 0) {
        vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

std::string IsoTimeUtc(std::time_t when) {
    char text[32] = "";
    const std::tm* utc = std::gmtime(&when);
    if (utc != nullptr) {
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    return text;
}

} // namespace tools
