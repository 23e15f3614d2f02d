// The running program's own folder on Windows, from its module's file name.
#include "common/self_path.h"

#include <windows.h>

namespace tools {

const char* ExecutableSuffix() {
    return ".exe";
}

std::string SelfDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string self(path, length < sizeof path ? length : 0);
    const size_t slash = self.find_last_of("\\/");
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

} // namespace tools
