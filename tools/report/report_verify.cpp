// VerifyReport: a report's summaries worked out again from its runs, with the functions that
// wrote them.
#include "report/report_fields.h"
#include "report/report_reader.h"

#include "common/number_text.h"
#include "common/outcome_percentage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tools {

namespace {

// Equal within the rounding of a JSON number (nlohmann writes doubles to round-trip, but another
// writer may keep fewer digits).
bool Near(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

std::string Number(double value) {
    return Format("%.6g", value);
}

std::string Stated(const Json& value) {
    if (value.is_number()) {
        return Number(value.get<double>());
    }
    if (value.is_array() && value.size() == 2 && value[0].is_number() && value[1].is_number()) {
        return "[" + Number(value[0].get<double>()) + ", " + Number(value[1].get<double>()) + "]";
    }
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// "" when the holder's key states what the runs give, else what each says.
std::string Compare(const Json& holder, const std::string& where, const char* key,
                    const Json& given, size_t runs) {
    const auto found = holder.find(key);
    const Json stated = found == holder.end() ? Json() : *found;
    bool same = stated.type() == given.type() || (stated.is_number() && given.is_number());
    if (same && given.is_number()) {
        same = Near(stated.get<double>(), given.get<double>());
    } else if (same && given.is_array()) {
        same = stated.size() == given.size();
        for (size_t i = 0; same && i < given.size(); ++i) {
            same = stated[i].is_number() && Near(stated[i].get<double>(), given[i].get<double>());
        }
    } else if (same) {
        same = stated == given;
    }
    if (same) {
        return "";
    }
    return where + "/" + key + (found == holder.end() ? " is missing" : " says " + Stated(stated)) +
           "; its " + std::to_string(runs) + " run" + (runs == 1 ? "" : "s") + " give " +
           Stated(given);
}

// The plan a speed-up states. A fixed count of runs looks once, at the last run, at the level
// itself; anything else is auto mode, whose per-look level is worked out again.
bool StatedPlan(const Json& speedup, const std::string& where, size_t runs, PlanCache* plans,
                SpeedupPlan* plan, std::string* problem) {
    const Json* level = Member(speedup, where, "level", Kind::Number, problem);
    const Json* margin = level ? Member(speedup, where, "margin", Kind::Number, problem) : nullptr;
    const Json* first =
        margin ? Member(speedup, where, "first_look", Kind::Count, problem) : nullptr;
    const Json* last = first ? Member(speedup, where, "last_look", Kind::Count, problem) : nullptr;
    const Json* perLook =
        last ? Member(speedup, where, "per_look_level", Kind::Number, problem) : nullptr;
    if (perLook == nullptr) {
        return false;
    }
    const double l = level->get<double>(), m = margin->get<double>();
    // The ranges readrace_compare takes them in.
    const bool levelTaken = l > 0 && l <= 0.5;
    if (!levelTaken || !(m > 0 && m <= 1)) {
        *problem = where + (levelTaken ? "/margin" : "/level") + " is not a number above 0 and " +
                   (levelTaken ? "up to 1" : "up to 0.5");
        return false;
    }
    const unsigned long long firstLook = first->get<unsigned long long>();
    const unsigned long long lastLook = last->get<unsigned long long>();
    if (lastLook > (unsigned long long)LargestCap || firstLook > lastLook) {
        *problem = where + "/last_look is not a whole number from first_look to " +
                   std::to_string(LargestCap);
        return false;
    }
    if (firstLook == runs && lastLook == runs && Near(perLook->get<double>(), l)) {
        *plan = FixedPlan(l, m);
        return true;
    }
    const auto key = std::make_tuple((int)firstLook, (int)lastLook, l, m);
    auto known = plans->find(key);
    if (known == plans->end()) {
        known = plans->emplace(key, SequentialPlan((int)firstLook, (int)lastLook, l, m)).first;
    }
    *plan = known->second;
    return true;
}

// A run as the deliverable printed it; false, with *problem, when a field is not what a run
// holds or its outcome line disagrees with its totals.
bool RunFromJson(const Json& json, const std::string& at, RunOutput* run, std::string* problem) {
    if (!json.is_object()) {
        *problem = at + " is not an object";
        return false;
    }
    const Json* parallel = Member(json, at, "parallel_total", Kind::Count, problem);
    const Json* serial =
        parallel ? Member(json, at, "serial_total", Kind::Count, problem) : nullptr;
    const Json* verdict = serial ? Member(json, at, "verdict", Kind::Text, problem) : nullptr;
    if (verdict == nullptr) {
        return false;
    }
    const auto percentage = json.find("percentage");
    if (*verdict != "Parallel was worse" && *verdict != "Serial was worse") {
        *problem = at + "/verdict is not Parallel was worse or Serial was worse";
        return false;
    }
    if (percentage == json.end() || !(percentage->is_null() || percentage->is_number_integer())) {
        *problem = at + "/percentage is not a whole number or null";
        return false;
    }
    if (parallel->get<unsigned long long>() > (unsigned long long)INT64_MAX ||
        serial->get<unsigned long long>() > (unsigned long long)INT64_MAX) {
        *problem = at + "/parallel_total or serial_total is larger than a tick count can be";
        return false;
    }
    run->parallelTotal = parallel->get<long long>();
    run->serialTotal = serial->get<long long>();
    run->parallelWorse = *verdict == "Parallel was worse";
    run->hasPercentage = percentage->is_number_integer();
    run->percentage = run->hasPercentage ? percentage->get<long long>() : 0;
    if (OutcomeAgrees(*run)) {
        return true;
    }
    RunOutput agreeing = *run;
    agreeing.parallelWorse = run->serialTotal <= run->parallelTotal;
    const std::string totals = "; its totals (parallel " + std::to_string(run->parallelTotal) +
                               ", serial " + std::to_string(run->serialTotal) + ") give ";
    if (agreeing.parallelWorse != run->parallelWorse) {
        *problem = at + "/verdict says " + verdict->get<std::string>() + totals +
                   (agreeing.parallelWorse ? "Parallel was worse" : "Serial was worse");
        return false;
    }
    const long long longer = std::max(run->parallelTotal, run->serialTotal);
    const long long shorter = std::min(run->parallelTotal, run->serialTotal);
    *problem = at + "/percentage says " + percentage->dump() + totals +
               std::to_string(OutcomePercentage(longer, shorter));
    return false;
}

// A deliverable's runs as it printed them; false, with *problem, where there are none or not as
// many as its summary counts, or one is not a run.
bool RunsFromJson(const Json& deliverable, const std::string& at, std::vector<RunOutput>* runs,
                  std::string* problem) {
    const size_t counted = deliverable.at("summary").at("runs").get<unsigned long long>();
    const auto found = deliverable.find("runs");
    if (found == deliverable.end() || !found->is_array() || found->empty()) {
        *problem = at + "/runs " +
                   (found == deliverable.end() ? "is missing"
                    : found->is_array()        ? "is empty"
                                               : "is not a list of runs") +
                   ": nothing bears out the summary of " + std::to_string(counted) + " runs";
        return false;
    }
    if (found->size() != counted) {
        *problem = at + "/summary/runs says " + std::to_string(counted) + "; its runs hold " +
                   std::to_string(found->size());
        return false;
    }
    runs->resize(found->size());
    for (size_t r = 0; r < runs->size(); ++r) {
        if (!RunFromJson((*found)[r], at + "/runs/" + std::to_string(r), &(*runs)[r], problem)) {
            return false;
        }
    }
    return true;
}

// "" when the summary at states what the runs give (e, s), else the first field that does not.
std::string CompareSummary(const Json& summary, const std::string& at, const SpeedupEstimate& e,
                           const Summary& s, size_t runs) {
    const Json& stated = summary.at("speedup");
    const bool interval = HasInterval(e);
    const std::string speedupAt = at + "/summary/speedup";
    for (const std::string& differs :
         {Compare(stated, speedupAt, "verdict", VerdictName(e.verdict), runs),
          Compare(stated, speedupAt, "median", e.median, runs),
          Compare(stated, speedupAt, "ci95", interval ? Json::array({e.low, e.high}) : Json(),
                  runs),
          Compare(stated, speedupAt, "ranks",
                  interval ? Json::array({e.rank, e.runs + 1 - e.rank}) : Json(), runs),
          Compare(stated, speedupAt, "per_look_level", e.perLookLevel, runs),
          Compare(stated, speedupAt, "error_bound", e.errorBound, runs),
          Compare(stated, speedupAt, "looks", e.looks, runs),
          Compare(summary.at("parallel_mb_per_s"), at + "/summary/parallel_mb_per_s", "median",
                  s.parallelMBps.median, runs),
          Compare(summary.at("serial_mb_per_s"), at + "/summary/serial_mb_per_s", "median",
                  s.serialMBps.median, runs),
          Compare(summary, at + "/summary", "parallel_worse", s.parallelWorse, runs),
          Compare(summary, at + "/summary", "serial_worse", s.serialWorse, runs)}) {
        if (!differs.empty()) {
            return differs;
        }
    }
    return "";
}

// A number the report states at key, where it is one and within [0, most]; else -1, as for a
// figure that was not measured.
double MeasuredOrNot(const Json& holder, const char* key, double most) {
    const auto found = holder.is_object() ? holder.find(key) : holder.end();
    if (found == holder.end() || !found->is_number()) {
        return -1;
    }
    const double value = found->get<double>();
    return value >= 0 && value <= most ? value : -1;
}

// The runs as the merge keeps them, with the traffic and residency each report states.
std::vector<CheckedRun> KeptRuns(const std::vector<RunOutput>& runs, const Json& stated) {
    std::vector<CheckedRun> kept;
    kept.reserve(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        const RunOutput& run = runs[r];
        const auto storage = stated[r].find("storage");
        kept.push_back(
            {run.parallelTotal, run.serialTotal, run.percentage, run.parallelWorse,
             run.hasPercentage,
             storage == stated[r].end() ? -1 : MeasuredOrNot(*storage, "bytes_read", 1e300),
             MeasuredOrNot(stated[r], "cached_after", 1)});
    }
    return kept;
}

// Where a report's runs at one file size were made, and how long each phase's reads were.
struct SizeRuns {
    std::string where; // the JSON pointer of the list's holder
    std::string directory;
    unsigned long long fileSize = 0, bytesPerPhase = 0;
};

// One deliverables list against its runs; adds its programs.
bool VerifyDeliverables(const Json& list, const SizeRuns& size, double ticksPerSecond,
                        PlanCache* plans, std::vector<CheckedProgram>* programs,
                        std::string* problem) {
    for (size_t d = 0; d < list.size(); ++d) {
        const std::string at = size.where + "/deliverables/" + std::to_string(d);
        const Json& summary = list[d].at("summary");
        std::vector<RunOutput> runs;
        SpeedupPlan plan;
        if (!RunsFromJson(list[d], at, &runs, problem) ||
            !StatedPlan(summary.at("speedup"), at + "/summary/speedup", runs.size(), plans, &plan,
                        problem)) {
            return false;
        }
        const Summary s = Summarize(runs, ticksPerSecond, size.bytesPerPhase);
        CheckedProgram program;
        program.fileSize = size.fileSize;
        program.directory = size.directory;
        program.name = list[d].at("name").get<std::string>();
        program.speedups = RunSpeedups(runs);
        program.runs = KeptRuns(runs, list[d].at("runs"));
        program.speedup = EstimateSpeedup(program.speedups, plan);
        program.parallelMBps = s.parallelMBps.median;
        program.serialMBps = s.serialMBps.median;
        *problem = CompareSummary(summary, at, program.speedup, s, runs.size());
        if (!problem->empty()) {
            return false;
        }
        programs->push_back(std::move(program));
    }
    return true;
}

std::string TextOf(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

} // namespace

std::string VerifyReport(const Json& json, PlanCache* plans, CheckedReport* checked) {
    *checked = CheckedReport();
    std::string problem;
    const Json* ticks = &json.at("calibration").at("ticks_per_second");
    if (!(ticks->get<double>() > 0)) {
        return "/calibration/ticks_per_second is not a number above 0";
    }
    const double ticksPerSecond = ticks->get<double>();
    const unsigned long long bytes = json.at("bytes_per_phase").get<unsigned long long>();
    std::vector<CheckedProgram> largest; // a sweep's copy of its largest size
    checked->ticksPerSecond = ticksPerSecond;
    const std::string directory = TextOf(json, "directory");
    if (!VerifyDeliverables(json.at("deliverables"), {"", directory, bytes / FileCount, bytes},
                            ticksPerSecond, plans,
                            json.contains("sweep") ? &largest : &checked->programs, &problem)) {
        return problem;
    }
    const auto sweep = json.find("sweep");
    for (size_t i = 0; sweep != json.end() && i < sweep->size(); ++i) {
        const Json& entry = (*sweep)[i];
        // The sweep writes the ten files at each size.
        const unsigned long long size = entry.at("size_bytes").get<unsigned long long>();
        if (size > ~0ull / FileCount) {
            return "/sweep/" + std::to_string(i) + "/size_bytes is larger than a file can be";
        }
        // Each size's runs were made in a folder of its own.
        const std::string folder = TextOf(entry, "directory");
        const SizeRuns at = {"/sweep/" + std::to_string(i), folder.empty() ? directory : folder,
                             size, size * FileCount};
        if (!VerifyDeliverables(entry.at("deliverables"), at, ticksPerSecond, plans,
                                &checked->programs, &problem)) {
            return problem;
        }
    }
    const Json& machine = json.at("machine");
    checked->machine.host = TextOf(machine, "host");
    checked->machine.kernel = TextOf(machine, "kernel");
    checked->machine.cpu = TextOf(machine, "cpu");
    const auto cores = machine.find("cores");
    checked->machine.cores = cores != machine.end() && cores->is_number_unsigned() &&
                                     cores->get<unsigned long long>() < 1000000
                                 ? (unsigned)cores->get<unsigned long long>()
                                 : 0;
    const auto hz = machine.find("tsc_hz");
    checked->machine.tscHz = hz != machine.end() && hz->is_number() ? hz->get<double>() : 0;
    checked->machine.filesystem = TextOf(machine, "filesystem");
    checked->machine.device = TextOf(machine, "device");
    checked->machine.thp = TextOf(machine, "thp");
    checked->machine.version = TextOf(machine, "readrace_version");
    checked->label = json.contains("label") ? TextOf(json, "label") : checked->machine.host;
    checked->startedAt = TextOf(json, "started_at");
    checked->commandLine = TextOf(json, "command_line");
    checked->directory = TextOf(json, "directory");
    return "";
}

} // namespace tools
