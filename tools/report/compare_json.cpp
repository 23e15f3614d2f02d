#include "report/compare_json.h"

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

} // namespace

Json DeliverableJson(const DeliverableRuns& deliverable) {
    Json runs = Json::array();
    for (const RunOutput& run : deliverable.runs) {
        runs.push_back({{"parallel", FileTicksJson(run.parallel)},
                        {"parallel_total", run.parallelTotal},
                        {"serial", FileTicksJson(run.serial)},
                        {"serial_total", run.serialTotal},
                        {"verdict", run.parallelWorse ? "Parallel was worse" : "Serial was worse"},
                        {"percentage", run.hasPercentage ? Json(run.percentage) : Json()}});
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

Json ReportJson(const std::vector<Comparison>& comparisons, bool sweep,
                const TickCalibration& clock, const MachineFacts& machine) {
    const Comparison& last = comparisons.back();
    Json report = {{"directory", last.directory},
                   {"evicted", last.evicted},
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

std::string CheckReport(const Json& json) {
    if (!json.is_object()) {
        return "not a JSON object";
    }
    for (const char* field : {"machine", "bytes_per_phase", "deliverables"}) {
        if (!json.contains(field)) {
            return std::string("no \"") + field + "\": not a report of readrace_compare";
        }
    }
    if (!json["deliverables"].is_array() || json["deliverables"].empty()) {
        return "\"deliverables\" is not a list of deliverables";
    }
    for (const Json& deliverable : json["deliverables"]) {
        if (!deliverable.is_object() || !deliverable.contains("name") ||
            !deliverable.contains("summary") || !deliverable["summary"].contains("speedup")) {
            return "a deliverable without its name, summary or speed-up";
        }
    }
    return "";
}

} // namespace tools
