#include "common/input_file.h"

#include "common/size_text.h"
#include "common/file_ops.h"

#include <windows.h>

namespace tools {

std::string ReadRegularFile(const std::string& path, size_t limit, std::string* text) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "Is a directory";
    }
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastErrorText();
    }
    std::string problem;
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        problem = "not a regular file";
    } else if (!GetFileSizeEx(file, &size)) {
        problem = LastErrorText();
    } else if ((unsigned long long)size.QuadPart > limit) {
        problem = "larger than " + FormatSize(limit);
    }
    text->clear();
    char buffer[65536];
    while (problem.empty()) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            problem = LastErrorText();
        } else if (got == 0) {
            break;
        } else if (text->size() + got > limit) {
            problem = "larger than " + FormatSize(limit); // it grew while read
        } else {
            text->append(buffer, got);
        }
    }
    CloseHandle(file);
    return problem;
}

} // namespace tools
