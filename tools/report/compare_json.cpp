#include "report/compare_json.h"

#include "common/version.h"

#include <cmath>
#include <ctime>

namespace tools {

namespace {

Json SpreadJson(const Spread& spread) {
    return {{"median", spread.median}, {"min", spread.min}, {"max", spread.max}};
}

Json FileTicksJson(const std::vector<FileTicks>& times) {
    Json list = Json::array();
    for (const FileTicks& time : times) {
        list.push_back({{"file", FileName(time.file)}, {"ticks", time.ticks}});
    }
    return list;
}

Json OrNull(bool present, double value) {
    return present ? Json(value) : Json(nullptr);
}

// The procedure, named closely enough to recompute the interval from the runs.
std::string MethodText(const SpeedupEstimate& e) {
    std::string text = "exact sign-test (order-statistic) interval [x(k), x(n+1-k)] over the n "
                       "runs' serial_total / parallel_total, k the largest with "
                       "2 P(Binomial(n, 1/2) <= k-1) <= per_look_level";
    if (e.sequential) {
        text += "; per_look_level the largest such tail for which an exact walk over the "
                "binomial count of runs below the true median keeps the chance that any look "
                "from run first_look to run last_look wrongly excludes it at or below level";
    } else {
        text += " (= level: one look after a fixed count of runs)";
    }
    return text + "; verdict parallel if the interval lies above 1, serial if below 1, "
                  "equivalent if inside [1/(1+margin), 1+margin], otherwise unclear";
}

Json SpeedupJson(const SpeedupEstimate& e, const std::string& conclusion) {
    const bool interval = e.rank > 0;
    return {{"median", e.median},
            {"ci95", interval ? Json::array({e.low, e.high}) : Json()},
            {"ranks", interval ? Json::array({e.rank, e.runs + 1 - e.rank}) : Json()},
            {"verdict", VerdictName(e.verdict)},
            {"margin", e.margin},
            {"level", e.level},
            {"per_look_level", e.perLookLevel},
            {"error_bound", e.errorBound},
            {"looks", e.looks},
            {"first_look", e.firstLook},
            {"last_look", e.lastLook},
            {"runs_to_settle", e.runsToSettle > 0 ? Json(e.runsToSettle) : Json()},
            {"method", MethodText(e)},
            {"conclusion", conclusion}};
}

// A run's storage traffic, or null where it was not measured.
Json TrafficJson(const RunTraffic& t) {
    if (!t.measured) {
        return Json();
    }
    return {{"bytes_read", t.counters.bytesRead}, {"reads", t.counters.reads},
            {"busy_ms", t.counters.busyMs},       {"queue_ms", t.counters.queueMs},
            {"read_ratio", t.readRatio},          {"partly_cached", t.partlyCached}};
}

Json CachedAfterJson(const Residency& after) {
    return after.known && after.pages > 0 ? Json((double)after.cached / (double)after.pages)
                                          : Json();
}

Json StorageSummaryJson(const StorageSummary& s) {
    if (s.measuredRuns == 0) {
        return Json();
    }
    return {{"runs", s.measuredRuns},
            {"read_ratio", s.readRatio},
            {"request_bytes", s.requestBytes},
            {"in_flight", s.inFlight},
            {"partly_cached_runs", s.partlyCachedRuns}};
}

} // namespace

Json DeliverableJson(const DeliverableRuns& deliverable) {
    Json runs = Json::array();
    for (size_t i = 0; i < deliverable.runs.size(); ++i) {
        const RunOutput& run = deliverable.runs[i];
        const RunTraffic traffic =
            i < deliverable.traffic.size() ? deliverable.traffic[i] : RunTraffic();
        runs.push_back({{"parallel", FileTicksJson(run.parallel)},
                        {"parallel_total", run.parallelTotal},
                        {"serial", FileTicksJson(run.serial)},
                        {"serial_total", run.serialTotal},
                        {"verdict", run.parallelWorse ? "Parallel was worse" : "Serial was worse"},
                        {"percentage", run.hasPercentage ? Json(run.percentage) : Json()},
                        {"storage", TrafficJson(traffic)},
                        {"cached_after", CachedAfterJson(traffic.after)}});
    }
    const Summary& s = deliverable.summary;
    Json files = Json::object();
    for (int i = 0; i < 10; ++i) {
        files[FileName(i)] = {{"parallel", s.fileParallelMs[i]}, {"serial", s.fileSerialMs[i]}};
    }
    const SpeedupEstimate& e = deliverable.speedup;
    return {{"name", deliverable.name},
            {"runs", runs},
            {"summary",
             {{"runs", s.runs},
              {"parallel_ms", SpreadJson(s.parallelMs)},
              {"serial_ms", SpreadJson(s.serialMs)},
              {"parallel_mb_per_s", SpreadJson(s.parallelMBps)},
              {"serial_mb_per_s", SpreadJson(s.serialMBps)},
              {"file_median_ms", files},
              {"parallel_worse", s.parallelWorse},
              {"serial_worse", s.serialWorse},
              {"median_percentage", OrNull(s.withPercentage > 0, s.medianPercentage)},
              {"storage", StorageSummaryJson(deliverable.storage)},
              {"cached_after",
               OrNull(deliverable.storage.residencyRuns > 0, deliverable.storage.cachedAfter)},
              {"speedup", SpeedupJson(e, deliverable.conclusion)}}}};
}

namespace {

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

Json MachineJson(const MachineFacts& m) {
    return {{"host", TextOrNull(m.host)},
            {"kernel", TextOrNull(m.kernel)},
            {"cpu", TextOrNull(m.cpu)},
            {"cores", m.cores},
            {"tsc_hz", m.tscHz},
            {"filesystem", TextOrNull(m.filesystem)},
            {"device", TextOrNull(m.device)},
            {"thp", TextOrNull(m.thp)},
            {"readrace_version", m.version}};
}

} // namespace

std::string IsoTimeUtc(std::time_t when) {
    char text[32] = "";
    const std::tm* utc = std::gmtime(&when);
    if (utc != nullptr) {
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    return text;
}

Json ReportJson(const std::vector<Comparison>& comparisons, bool sweep,
                const TickCalibration& clock, const MachineFacts& machine,
                const std::string& startedAt, const std::string& commandLine) {
    const Comparison& last = comparisons.back();
    Json report = {{"started_at", startedAt},
                   {"command_line", commandLine},
                   {"directory", last.directory},
                   {"evicted", last.evicted},
                   {"eviction_checked", last.evictionChecked},
                   {"storage_unmeasured", TextOrNull(last.unmeasured)},
                   {"bytes_per_phase", last.bytesPerPhase},
                   {"calibration",
                    {{"ticks_per_second", clock.ticksPerSecond},
                     {"milliseconds", clock.overMilliseconds},
                     {"invariant", clock.invariant}}},
                   {"stopped_by", last.stoppedBy},
                   {"machine", MachineJson(machine)},
                   {"deliverables", Json::array()}};
    for (const DeliverableRuns& deliverable : last.deliverables) {
        report["deliverables"].push_back(DeliverableJson(deliverable));
    }
    if (sweep) {
        Json sizes = Json::array();
        for (const Comparison& comparison : comparisons) {
            Json entry = {{"size_bytes", comparison.fileSize},
                          {"directory", comparison.directory},
                          {"stopped_by", comparison.stoppedBy},
                          {"deliverables", Json::array()}};
            for (const DeliverableRuns& deliverable : comparison.deliverables) {
                entry["deliverables"].push_back(DeliverableJson(deliverable));
            }
            sizes.push_back(entry);
        }
        report["sweep"] = sizes;
    }
    return report;
}

std::string DumpJson(const Json& json) {
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

// What a field of a report must be.
enum class Kind { Object, List, Text, TextOrNull, Number, Count };

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

// object's member key, if it is there and of the kind; else nullptr, and *problem names it by
// its JSON pointer and says what it should be.
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
    for (const char* field : {"started_at", "command_line"}) {
        if (json.contains(field) && !Member(json, "", field, Kind::Text, &problem)) {
            return problem;
        }
    }
    if (!Member(json, "", "bytes_per_phase", Kind::Count, &problem) ||
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

std::vector<ReportSize> ReportSizes(const Json& report) {
    std::vector<ReportSize> sizes;
    if (report.contains("sweep")) {
        for (const Json& entry : report.at("sweep")) {
            sizes.push_back(
                {entry.at("size_bytes").get<unsigned long long>(), &entry.at("deliverables")});
        }
    } else {
        sizes.push_back({report.at("bytes_per_phase").get<unsigned long long>() / 10,
                         &report.at("deliverables")});
    }
    return sizes;
}

SpeedupEstimate SpeedupFromJson(const Json& speedup) {
    SpeedupEstimate estimate;
    estimate.median = speedup.at("median").get<double>();
    // No interval (too few runs) is null; reports from before verdicts have none.
    if (speedup.at("ci95").is_array()) {
        estimate.low = speedup.at("ci95").at(0).get<double>();
        estimate.high = speedup.at("ci95").at(1).get<double>();
        estimate.rank = 1;
    }
    const auto margin = speedup.find("margin");
    if (margin != speedup.end() && margin->is_number() && margin->get<double>() > 0 &&
        margin->get<double>() < 1) {
        estimate.margin = margin->get<double>();
    }
    const auto verdict = speedup.find("verdict");
    estimate.verdict = verdict != speedup.end() && verdict->is_string()
                           ? VerdictFromName(verdict->get<std::string>())
                           : Verdict::Unclear;
    return estimate;
}

} // namespace tools
