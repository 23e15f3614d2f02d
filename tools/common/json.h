// The JSON value every companion reads and writes: keys keep the order they were written in, so
// that a report reads the way its schema documents it.
#pragma once

#include <nlohmann/json.hpp>

namespace tools {

using Json = nlohmann::ordered_json;

} // namespace tools
