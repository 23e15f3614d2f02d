// Wide text as UTF-8, for the system's file names and for standard error.
#include "platform/linux/wide_text.h"

#include <cerrno>
#include <cstring>

bool ConvertToUtf8(const wchar_t* text, char* out, size_t capacity) {
    size_t used = 0;
    for (; *text != L'\0'; ++text) {
        const unsigned long code = (unsigned long)*text;
        char bytes[4];
        size_t count;
        if (code < 0x80) {
            bytes[0] = (char)code;
            count = 1;
        } else if (code < 0x800) {
            bytes[0] = (char)(0xC0 | (code >> 6));
            bytes[1] = (char)(0x80 | (code & 0x3F));
            count = 2;
        } else if (code < 0x10000) {
            if (code >= 0xD800 && code <= 0xDFFF) {
                out[used] = '\0';
                errno = EILSEQ;
                return false;
            }
            bytes[0] = (char)(0xE0 | (code >> 12));
            bytes[1] = (char)(0x80 | ((code >> 6) & 0x3F));
            bytes[2] = (char)(0x80 | (code & 0x3F));
            count = 3;
        } else if (code < 0x110000) {
            bytes[0] = (char)(0xF0 | (code >> 18));
            bytes[1] = (char)(0x80 | ((code >> 12) & 0x3F));
            bytes[2] = (char)(0x80 | ((code >> 6) & 0x3F));
            bytes[3] = (char)(0x80 | (code & 0x3F));
            count = 4;
        } else {
            out[used] = '\0';
            errno = EILSEQ;
            return false;
        }
        if (used + count >= capacity) {
            out[used] = '\0';
            errno = ENAMETOOLONG;
            return false;
        }
        memcpy(out + used, bytes, count);
        used += count;
    }
    out[used] = '\0';
    return true;
}
