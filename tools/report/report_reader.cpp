#include "report/report_reader.h"

#include "common/input_file.h"
#include "common/number_text.h"
#include "common/version.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tools {

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
    if (!(l > 0 && l < 1) || !(m > 0 && m <= 1)) {
        *problem = where + (l > 0 && l < 1 ? "/margin" : "/level") + " is not a number above 0 " +
                   (l > 0 && l < 1 ? "and up to 1" : "and below 1");
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
               std::to_string((long long)((unsigned long long)longer * 100u) / shorter);
    return false;
}

// One deliverables list against its runs, each run bytesPerPhase long; adds its programs.
bool VerifyDeliverables(const Json& list, const std::string& where, double ticksPerSecond,
                        unsigned long long bytesPerPhase, unsigned long long fileSize,
                        PlanCache* plans, std::vector<CheckedProgram>* programs,
                        std::string* problem) {
    for (size_t d = 0; d < list.size(); ++d) {
        const std::string at = where + "/deliverables/" + std::to_string(d);
        const Json& deliverable = list[d];
        const Json& summary = deliverable.at("summary");
        const Json& stated = summary.at("speedup");
        const size_t counted = summary.at("runs").get<unsigned long long>();
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
        std::vector<RunOutput> runs(found->size());
        for (size_t r = 0; r < runs.size(); ++r) {
            if (!RunFromJson((*found)[r], at + "/runs/" + std::to_string(r), &runs[r], problem)) {
                return false;
            }
        }
        SpeedupPlan plan;
        if (!StatedPlan(stated, at + "/summary/speedup", runs.size(), plans, &plan, problem)) {
            return false;
        }
        const Summary s = Summarize(runs, ticksPerSecond, bytesPerPhase);
        CheckedProgram program;
        program.fileSize = fileSize;
        program.name = deliverable.at("name").get<std::string>();
        program.speedups = RunSpeedups(runs);
        program.speedup = EstimateSpeedup(program.speedups, plan);
        program.parallelMBps = s.parallelMBps.median;
        program.serialMBps = s.serialMBps.median;
        const SpeedupEstimate& e = program.speedup;
        const bool interval = HasInterval(e);
        const std::string speedupAt = at + "/summary/speedup";
        for (const std::string& differs :
             {Compare(stated, speedupAt, "verdict", VerdictName(e.verdict), runs.size()),
              Compare(stated, speedupAt, "median", e.median, runs.size()),
              Compare(stated, speedupAt, "ci95", interval ? Json::array({e.low, e.high}) : Json(),
                      runs.size()),
              Compare(stated, speedupAt, "ranks",
                      interval ? Json::array({e.rank, e.runs + 1 - e.rank}) : Json(), runs.size()),
              Compare(stated, speedupAt, "per_look_level", e.perLookLevel, runs.size()),
              Compare(stated, speedupAt, "error_bound", e.errorBound, runs.size()),
              Compare(stated, speedupAt, "looks", e.looks, runs.size()),
              Compare(summary.at("parallel_mb_per_s"), at + "/summary/parallel_mb_per_s", "median",
                      s.parallelMBps.median, runs.size()),
              Compare(summary.at("serial_mb_per_s"), at + "/summary/serial_mb_per_s", "median",
                      s.serialMBps.median, runs.size()),
              Compare(summary, at + "/summary", "parallel_worse", s.parallelWorse, runs.size()),
              Compare(summary, at + "/summary", "serial_worse", s.serialWorse, runs.size())}) {
            if (!differs.empty()) {
                *problem = differs;
                return false;
            }
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
    if (!VerifyDeliverables(json.at("deliverables"), "", ticksPerSecond, bytes, bytes / FileCount,
                            plans, json.contains("sweep") ? &largest : &checked->programs,
                            &problem)) {
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
        if (!VerifyDeliverables(entry.at("deliverables"), "/sweep/" + std::to_string(i),
                                ticksPerSecond, size * FileCount, size, plans, &checked->programs,
                                &problem)) {
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

namespace {

// Builds the tree of a report from the parser's events, as the library's own parse would, with
// its public interface alone.
struct TreeBuilder {
    Json* root;
    std::vector<Json*> open; // the containers being filled, innermost last
    Json* member = nullptr;  // where the value after an object's key goes

    // Places a value where the parser is; returns where it went.
    Json* Place(Json&& value) {
        if (open.empty()) {
            *root = std::move(value);
            return root;
        }
        if (open.back()->is_array()) {
            open.back()->push_back(std::move(value));
            return &open.back()->back();
        }
        *member = std::move(value);
        return member;
    }
    bool Value(Json&& value) {
        Place(std::move(value));
        return true;
    }
    bool Open(Json&& container) {
        // Only the innermost container grows, so pointers to the open ones stay valid.
        open.push_back(Place(std::move(container)));
        return true;
    }
    bool Close() {
        open.pop_back();
        return true;
    }
    bool Key(std::string& name) {
        member = &(*open.back())[name];
        return true;
    }
};

// Parses a report into a tree, but stops at values nested past DeepestReport, so that no deep tree
// is built, and leaves out the per-file times (the "parallel" and "serial" lists of ticks), which
// nothing here reads and which are most of a report's values.
struct ReportParser {
    TreeBuilder tree;
    int depth = 0;
    int skipping = 0;      // open containers of a value left out
    bool skipNext = false; // the value after this key is left out
    bool tooDeep = false;
    size_t errorByte = 0;

    explicit ReportParser(Json& root) : tree{&root, {}, nullptr} {}

    // Whether the value that starts now is left out.
    bool Skip(bool opens) {
        if (skipping > 0) {
            skipping += opens ? 1 : 0;
            return true;
        }
        if (skipNext) {
            skipNext = false;
            skipping = opens ? 1 : 0;
            return true;
        }
        return false;
    }
    bool Open() {
        tooDeep = tooDeep || ++depth > DeepestReport;
        return !tooDeep;
    }

    bool null() {
        return Skip(false) || tree.Value(Json());
    }
    bool boolean(bool value) {
        return Skip(false) || tree.Value(value);
    }
    bool number_integer(Json::number_integer_t value) {
        return Skip(false) || tree.Value(value);
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return Skip(false) || tree.Value(value);
    }
    bool number_float(Json::number_float_t value, const std::string&) {
        return Skip(false) || tree.Value(value);
    }
    bool string(std::string& value) {
        return Skip(false) || tree.Value(std::move(value));
    }
    bool binary(Json::binary_t& value) {
        return Skip(false) || tree.Value(Json::binary(std::move(value)));
    }
    bool start_object(size_t) {
        return Open() && (Skip(true) || tree.Open(Json::object()));
    }
    bool start_array(size_t) {
        return Open() && (Skip(true) || tree.Open(Json::array()));
    }
    bool end_object() {
        --depth;
        return skipping > 0 ? (--skipping, true) : tree.Close();
    }
    bool end_array() {
        --depth;
        return skipping > 0 ? (--skipping, true) : tree.Close();
    }
    bool key(std::string& name) {
        if (skipping > 0) {
            return true;
        }
        skipNext = name == "parallel" || name == "serial";
        return skipNext || tree.Key(name);
    }
    bool parse_error(size_t byte, const std::string&, const Json::exception&) {
        errorByte = byte;
        return false;
    }
};

} // namespace

std::string ReadReport(const std::string& text, PlanCache* plans, CheckedReport* report,
                       Refusal* refusal) {
    *refusal = Refusal::Unreadable;
    Json json;
    ReportParser parser(json);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(text, &parser);
    } catch (const Json::exception&) {
        parsed = false;
    }
    if (parser.tooDeep) {
        return "values nested deeper than " + std::to_string(DeepestReport) + " levels";
    }
    if (!parsed) {
        return "not a report of readrace_compare: not JSON" +
               (parser.errorByte > 0 ? " (at byte " + std::to_string(parser.errorByte) + ")"
                                     : std::string());
    }
    const std::string problem = CheckReport(json);
    if (!problem.empty()) {
        return problem;
    }
    *refusal = Refusal::Disagrees;
    try {
        const std::string differs = VerifyReport(json, plans, report);
        if (!differs.empty()) {
            return differs;
        }
    } catch (const Json::exception&) {
        *refusal = Refusal::Unreadable;
        return "not a report of readrace_compare";
    }
    *refusal = Refusal::None;
    return "";
}

std::string ReadReportFile(const std::string& path, PlanCache* plans, CheckedReport* report,
                           Refusal* refusal, std::string* text) {
    *refusal = Refusal::Unreadable;
    const std::string problem = ReadRegularFile(path, LargestReport, text);
    return problem.empty() ? ReadReport(*text, plans, report, refusal) : problem;
}

} // namespace tools
