// ReadReport: a report's text parsed into a tree no deeper than DeepestReport, then checked
// (CheckReport) and verified against its runs (VerifyReport).
#include "report/report_reader.h"

#include "common/input_file.h"

#include <vector>

namespace tools {

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
