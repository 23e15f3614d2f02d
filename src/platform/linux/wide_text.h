// Wide text as UTF-8: the one conversion of the Linux layer.
#pragma once

#include <cstddef>

// Writes text as UTF-8 into out, terminated; false (with errno set) when it does not fit or holds
// a code that is no character. out then holds, terminated, what was converted before.
bool ConvertToUtf8(const wchar_t* text, char* out, size_t capacity);
