#include "report/report_fields.h"

#include <cmath>

namespace tools {

namespace {

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Object:
        return "an object";
    case Kind::List:
        return "a list that is not empty";
    case Kind::Text:
        return "a string";
    case Kind::TextOrNull:
        return "a string or null";
    case Kind::Number:
        return "a number from 0";
    case Kind::Count:
        return "a whole number from 1";
    }
    return "";
}

} // namespace

bool IsKind(const Json& value, Kind kind) {
    switch (kind) {
    case Kind::Object:
        return value.is_object();
    case Kind::List:
        return value.is_array() && !value.empty();
    case Kind::Text:
        return value.is_string();
    case Kind::TextOrNull:
        return value.is_string() || value.is_null();
    case Kind::Number:
        return value.is_number() && std::isfinite(value.get<double>()) && value.get<double>() >= 0;
    case Kind::Count:
        return value.is_number_unsigned() && value.get<unsigned long long>() >= 1;
    }
    return false;
}

const Json* Member(const Json& object, const std::string& where, const char* key, Kind kind,
                   std::string* problem) {
    const auto found = object.find(key);
    if (found == object.end()) {
        *problem = where + "/" + key + " is missing";
        return nullptr;
    }
    if (!IsKind(*found, kind)) {
        *problem = where + "/" + key + " is not " + KindName(kind);
        return nullptr;
    }
    return &*found;
}

} // namespace tools
