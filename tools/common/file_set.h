// The files every run reads: "0.tmp" to "9.tmp", in the folder it is given.
#pragma once

#include <string>

namespace tools {

constexpr int FileCount = 10;

// "0.tmp" for 0 ... "9.tmp" for 9.
std::string FileName(int file);

} // namespace tools
