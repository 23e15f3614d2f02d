// The kinds of value a report's fields must be, and the one way a field is looked up and
// named by its JSON pointer when it is missing or of another kind: shared by the checks of a
// report's fields and the checks of its figures against its runs.
#pragma once

#include "common/json.h"

#include <string>

namespace tools {

// What a field of a report must be.
enum class Kind { Object, List, Text, TextOrNull, Number, Count };

// Whether value is of the kind.
bool IsKind(const Json& value, Kind kind);

// object's member key, if it is there and of the kind; else nullptr, and *problem names it by
// its JSON pointer and says what it should be.
const Json* Member(const Json& object, const std::string& where, const char* key, Kind kind,
                   std::string* problem);

} // namespace tools
