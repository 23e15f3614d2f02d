// CheckReport: every field the merge reads, present and of its kind, before anything of a report
// is used.
#include "report/report_fields.h"
#include "report/report_reader.h"

#include "common/version.h"

namespace tools {

namespace {

bool CheckSpeedup(const Json& speedup, const std::string& where, std::string* problem) {
    if (!Member(speedup, where, "median", Kind::Number, problem) ||
        !Member(speedup, where, "conclusion", Kind::Text, problem)) {
        return false;
    }
    const auto verdict = speedup.find("verdict");
    if (verdict != speedup.end() &&
        !(verdict->is_string() && (*verdict == "parallel" || *verdict == "serial" ||
                                   *verdict == "equivalent" || *verdict == "unclear"))) {
        *problem = where + "/verdict is not parallel, serial, equivalent or unclear";
        return false;
    }
    // Too few runs for an interval give null.
    const auto interval = speedup.find("ci95");
    if (interval != speedup.end() && interval->is_null()) {
        return true;
    }
    const Json* ci = Member(speedup, where, "ci95", Kind::List, problem);
    if (ci == nullptr) {
        return false;
    }
    if (ci->size() != 2 || !IsKind((*ci)[0], Kind::Number) || !IsKind((*ci)[1], Kind::Number) ||
        (*ci)[0].get<double>() > (*ci)[1].get<double>()) {
        *problem = where + "/ci95 is not a low and a high number from 0";
        return false;
    }
    return true;
}

bool CheckDeliverables(const Json& holder, const std::string& where, std::string* problem) {
    const Json* list = Member(holder, where, "deliverables", Kind::List, problem);
    for (size_t i = 0; list != nullptr && i < list->size(); ++i) {
        const std::string at = where + "/deliverables/" + std::to_string(i);
        const Json& deliverable = (*list)[i];
        if (!deliverable.is_object()) {
            *problem = at + " is not an object";
            return false;
        }
        const Json* summary = Member(deliverable, at, "summary", Kind::Object, problem);
        if (!Member(deliverable, at, "name", Kind::Text, problem) || summary == nullptr ||
            !Member(*summary, at + "/summary", "runs", Kind::Count, problem)) {
            return false;
        }
        for (const char* phase : {"parallel_mb_per_s", "serial_mb_per_s"}) {
            const Json* rate = Member(*summary, at + "/summary", phase, Kind::Object, problem);
            if (rate == nullptr ||
                !Member(*rate, at + "/summary/" + phase, "median", Kind::Number, problem)) {
                return false;
            }
        }
        const Json* speedup = Member(*summary, at + "/summary", "speedup", Kind::Object, problem);
        if (speedup == nullptr || !CheckSpeedup(*speedup, at + "/summary/speedup", problem)) {
            return false;
        }
    }
    return list != nullptr;
}

// The major version: the digits before the first dot, or "" when there are none.
std::string Major(const std::string& version) {
    const size_t digits = version.find_first_not_of("0123456789");
    return digits == 0 ? ""
                       : version.substr(0, digits == std::string::npos ? version.size() : digits);
}

// What is missing or wrong in the fields the merge reads, by JSON pointer; "" for none.
std::string CheckFields(const Json& json) {
    if (!json.is_object()) {
        return "not a JSON object";
    }
    std::string problem;
    const Json* machine = Member(json, "", "machine", Kind::Object, &problem);
    if (machine == nullptr) {
        return problem;
    }
    for (const char* field : {"host", "filesystem", "device"}) {
        if (!Member(*machine, "/machine", field, Kind::TextOrNull, &problem)) {
            return problem;
        }
    }
    const Json* version = Member(*machine, "/machine", "readrace_version", Kind::Text, &problem);
    if (version == nullptr) {
        return problem;
    }
    if (json.contains("label") && !Member(json, "", "label", Kind::TextOrNull, &problem)) {
        return problem;
    }
    for (const char* field : {"started_at", "command_line", "directory"}) {
        if (json.contains(field) && !Member(json, "", field, Kind::Text, &problem)) {
            return problem;
        }
    }
    const Json* calibration = Member(json, "", "calibration", Kind::Object, &problem);
    if (calibration == nullptr ||
        !Member(*calibration, "/calibration", "ticks_per_second", Kind::Number, &problem) ||
        !Member(json, "", "bytes_per_phase", Kind::Count, &problem) ||
        !CheckDeliverables(json, "", &problem)) {
        return problem;
    }
    if (json.contains("sweep")) {
        const Json* sweep = Member(json, "", "sweep", Kind::List, &problem);
        for (size_t i = 0; sweep != nullptr && i < sweep->size(); ++i) {
            const std::string at = "/sweep/" + std::to_string(i);
            if (!(*sweep)[i].is_object()) {
                return at + " is not an object";
            }
            if (!Member((*sweep)[i], at, "size_bytes", Kind::Count, &problem) ||
                !CheckDeliverables((*sweep)[i], at, &problem)) {
                return problem;
            }
        }
        if (sweep == nullptr) {
            return problem;
        }
    }
    return "";
}

} // namespace

std::string CheckReport(const Json& json) {
    const std::string problem = CheckFields(json);
    if (!problem.empty()) {
        return "not a report of readrace_compare: " + problem;
    }
    const std::string made = json.at("machine").at("readrace_version").get<std::string>();
    if (Major(made).empty() || Major(made) != Major(Version())) {
        return "a report of readrace " + made + ", which this version (" + Version() +
               ") cannot read";
    }
    return "";
}

} // namespace tools
