// Where the running program is, and how programs are named on this system.
#pragma once

#include <string>

namespace tools {

// ".exe" on Windows, "" elsewhere.
const char* ExecutableSuffix();

// The directory that holds the running program.
std::string SelfDirectory();

} // namespace tools
