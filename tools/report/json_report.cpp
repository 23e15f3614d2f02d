#include "report/json_report.h"

#include "report/tables.h"

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
    const bool interval = HasInterval(e);
    return {{"median", e.median},
            {"ci95", interval ? Json::array({e.low, e.high}) : Json()},
            // The interval's own confidence: ci95 keeps its name for the readers that know it,
            // whatever the level.
            {"confidence", 1 - e.level},
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

Json BypassJson(bool judged, bool honoured) {
    return judged ? Json(honoured) : Json();
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

Json DeliverableJson(const DeliverableRuns& deliverable, const Suggestions& suggest) {
    Json runs = Json::array();
    for (size_t i = 0; i < deliverable.runs.size(); ++i) {
        const RunOutput& run = deliverable.runs[i];
        const RunTraffic traffic =
            i < deliverable.traffic.size() ? deliverable.traffic[i] : RunTraffic();
        runs.push_back(
            {{"parallel", FileTicksJson(run.parallel)},
             {"parallel_total", run.parallelTotal},
             {"serial", FileTicksJson(run.serial)},
             {"serial_total", run.serialTotal},
             {"verdict", run.parallelWorse ? "Parallel was worse" : "Serial was worse"},
             {"percentage", run.hasPercentage ? Json(run.percentage) : Json()},
             {"storage", TrafficJson(traffic)},
             {"cached_after", CachedAfterJson(traffic.after)},
             {"bypass_honoured", BypassJson(traffic.bypassJudged, traffic.bypassHonoured)}});
    }
    const Summary& s = deliverable.summary;
    Json files = Json::object();
    for (int i = 0; i < FileCount; ++i) {
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
              {"bypass_honoured",
               BypassJson(BypassJudged(deliverable.storage), BypassHonoured(deliverable.storage))},
              {"speedup", SpeedupJson(e, Conclusion(deliverable, suggest))}}}};
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

namespace {

// The fields of a comparison's report, from the comparison that its "deliverables" hold.
Json MeasuredJson(const RunContext& context, const Comparison& last) {
    const TickCalibration& clock = context.clock;
    const std::string& label = context.label;
    Json report = {{"label", TextOrNull(label.empty() ? context.machine.host : label)},
                   {"started_at", context.origin.startedAt},
                   {"command_line", context.origin.commandLine},
                   {"directory", last.directory},
                   {"evicted", last.evicted},
                   {"eviction_checked", last.evictionChecked},
                   {"storage_unmeasured", TextOrNull(last.unmeasured)},
                   {"storage_devices", last.devices},
                   {"bytes_per_phase", last.bytesPerPhase},
                   {"calibration",
                    {{"ticks_per_second", clock.ticksPerSecond},
                     {"milliseconds", clock.overMilliseconds},
                     {"invariant", clock.invariant}}},
                   {"stopped_by", last.stoppedBy},
                   {"machine", MachineJson(context.machine)},
                   {"deliverables", Json::array()}};
    for (const DeliverableRuns& deliverable : last.deliverables) {
        report["deliverables"].push_back(DeliverableJson(deliverable, context.suggest));
    }
    return report;
}

Json SweepJson(const SweepReport& r) {
    Json report = MeasuredJson(r.context, r.sizes.back());
    Json sizes = Json::array();
    for (const Comparison& comparison : r.sizes) {
        Json entry = {{"size_bytes", comparison.fileSize},
                      {"directory", comparison.directory},
                      {"stopped_by", comparison.stoppedBy},
                      {"deliverables", Json::array()}};
        for (const DeliverableRuns& deliverable : comparison.deliverables) {
            entry["deliverables"].push_back(DeliverableJson(deliverable, r.context.suggest));
        }
        sizes.push_back(entry);
    }
    report["sweep"] = sizes;
    return report;
}

// The merged table's fields, keyed as its columns are.
const char* const RowKeys[] = {
    "host",      "started_at",  "filesystem",        "device",          "label",   "directory",
    "file_size", "deliverable", "parallel_mb_per_s", "serial_mb_per_s", "speedup", "verdict"};

Json GroupsJson(const FleetTable& table) {
    Json groups = Json::array();
    for (const GroupSummary& group : table.groups) {
        Json entry = Json::object();
        for (size_t i = 0; i < table.keys.size(); ++i) {
            entry[GroupJsonKey(table.keys[i])] = group.values[i];
        }
        entry["hosts"] = group.hosts;
        entry["reports"] = group.reports;
        Json shares = Json::object();
        for (const Verdict verdict : Verdicts) {
            shares[VerdictName(verdict)] = group.shares[(int)verdict];
        }
        entry["verdicts"] = shares;
        entry["speedup"] = {{"median", group.median}, {"min", group.min}, {"max", group.max}};
        groups.push_back(entry);
    }
    return groups;
}

Json MergeJson(const MergeReport& report) {
    const FleetTable table = MergedTable(report, false);
    if (table.grouped) {
        return {{"reports", report.paths}, {"group_by", table.keys}, {"groups", GroupsJson(table)}};
    }
    Json rows = Json::array();
    for (size_t r = 0; r < table.rows.size(); ++r) {
        Json entry = Json::object();
        for (size_t i = 0; i < std::size(RowKeys) && i < table.rows[r].size(); ++i) {
            entry[RowKeys[i]] = table.rows[r][i];
        }
        // Scripts read the verdict by its name, as the reports state it, not by its phrase.
        entry["verdict"] = VerdictName(table.verdicts[r]);
        rows.push_back(entry);
    }
    return {{"reports", report.paths}, {"rows", rows}};
}

} // namespace

std::string DumpJson(const Json& json) {
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string RenderJson(const Report& report) {
    return DumpJson(std::visit(
        PerKind{[](const ComparisonReport& r) { return MeasuredJson(r.context, r.comparison); },
                [](const SweepReport& r) { return SweepJson(r); },
                [](const MergeReport& r) { return MergeJson(r); }},
        report));
}

} // namespace tools
