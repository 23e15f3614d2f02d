// The project's version, as --version prints it and reports record it.
#pragma once

#include <string>

namespace tools {

std::string Version();

} // namespace tools
