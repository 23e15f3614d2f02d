#include "runs/run_output.h"

#include "common/outcome_percentage.h"

#include <cerrno>
#include <cstdlib>
#include <regex>

namespace tools {

namespace {

bool ParseTicks(const std::string& digits, long long* value) {
    errno = 0;
    char* end = nullptr;
    *value = strtoll(digits.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

bool OutcomeAgrees(const RunOutput& run) {
    if (run.parallelTotal <= 0 || run.serialTotal <= 0) {
        return false;
    }
    const bool parallelWorse = run.serialTotal <= run.parallelTotal;
    const long long longer = parallelWorse ? run.parallelTotal : run.serialTotal;
    const long long shorter = parallelWorse ? run.serialTotal : run.parallelTotal;
    return run.parallelWorse == parallelWorse && run.hasPercentage &&
           run.percentage == OutcomePercentage(longer, shorter);
}

namespace {

// The parallel phase's files, its total, the serial phase's files, its total, the outcome.
constexpr size_t ParallelTotalLine = FileCount, SerialTotalLine = 2 * FileCount + 1;

// A per-file line at index i: in the parallel phase each file once, in the serial phase in order.
std::string ParseFileLine(size_t i, const std::string& line, RunOutput* run, bool* seen) {
    static const std::regex fileLine(R"(\* ([0-9])\.tmp (-?[0-9]+))");
    std::smatch match;
    long long ticks = 0;
    if (!std::regex_match(line, match, fileLine) || !ParseTicks(match[2], &ticks)) {
        return "not a per-file line";
    }
    const int file = match[1].str()[0] - '0';
    if (i < ParallelTotalLine) {
        if (seen[file]) {
            return "the file is listed twice in the parallel phase";
        }
        seen[file] = true;
        run->parallel.push_back({file, ticks});
    } else {
        if (file != (int)(i - ParallelTotalLine - 1)) {
            return "the serial phase is out of order";
        }
        run->serial.push_back({file, ticks});
    }
    return "";
}

std::string ParseOutcomeLine(const std::string& line, RunOutput* run) {
    static const std::regex outcomeLine(
        R"(Outcome: (Parallel|Serial) was worse\. (?:(-?[0-9]+)% as long as (serial|parallel)\.|No percentage: (serial|parallel) total is 0\.))");
    std::smatch match;
    if (!std::regex_match(line, match, outcomeLine)) {
        return "not an outcome line";
    }
    run->parallelWorse = match[1] == "Parallel";
    // The worse phase is measured against the other one; a line that names one phase twice is
    // none the program prints.
    if ((match[3].matched ? match[3] : match[4]) != (run->parallelWorse ? "serial" : "parallel")) {
        return "the outcome line measures a phase against itself";
    }
    run->hasPercentage = match[2].matched;
    if (run->hasPercentage && !ParseTicks(match[2], &run->percentage)) {
        return "the percentage does not fit";
    }
    return "";
}

// Line i of the 23, by its place.
std::string ParseLine(size_t i, const std::string& line, RunOutput* run, bool* seen) {
    static const std::regex parallelLine(R"(Parallel total time: (-?[0-9]+))");
    static const std::regex serialLine(R"(Serial total time: (-?[0-9]+))");
    std::smatch match;
    if (i != ParallelTotalLine && i < SerialTotalLine) {
        return ParseFileLine(i, line, run, seen);
    }
    if (i == ParallelTotalLine) {
        return std::regex_match(line, match, parallelLine) &&
                       ParseTicks(match[1], &run->parallelTotal)
                   ? ""
                   : "not the parallel total";
    }
    if (i == SerialTotalLine) {
        return std::regex_match(line, match, serialLine) && ParseTicks(match[1], &run->serialTotal)
                   ? ""
                   : "not the serial total";
    }
    return ParseOutcomeLine(line, run);
}

// A run with a total of 0 or less, or whose outcome line disagrees with its totals, was not
// timed as the program means to: it is a faulty run, never a speed-up to count or drop. And each
// worker prints its own list in order.
std::string CheckRun(const RunOutput& run, const std::string& outcome) {
    const std::string totals = "(parallel " + std::to_string(run.parallelTotal) + ", serial " +
                               std::to_string(run.serialTotal) + "): a faulty run";
    if (run.parallelTotal <= 0 || run.serialTotal <= 0) {
        return "a total that is not positive " + totals;
    }
    if (!OutcomeAgrees(run)) {
        return "line " + std::to_string(LinesPerRun) + " [" + outcome +
               "]: the outcome disagrees with the totals " + totals;
    }
    int nextFirst = 0, nextSecond = FileCount / 2;
    for (const FileTicks& time : run.parallel) {
        int& next = time.file < FileCount / 2 ? nextFirst : nextSecond;
        if (time.file != next) {
            return "the parallel phase has " + std::to_string(time.file) +
                   ".tmp out of its worker's order";
        }
        ++next;
    }
    return "";
}

} // namespace

std::string OutcomeLine(bool parallelWorse, bool hasPercentage, long long percentage) {
    const char* worse = parallelWorse ? "Parallel" : "Serial";
    const char* other = parallelWorse ? "serial" : "parallel";
    return std::string("Outcome: ") + worse + " was worse. " +
           (hasPercentage ? std::to_string(percentage) + "% as long as " + other + "."
                          : std::string("No percentage: ") + other + " total is 0.");
}

std::string ParseRunOutput(const std::string& text, RunOutput* run) {
    *run = RunOutput();
    if (!text.empty() && text.back() != '\n') {
        return "the output ends inside a line";
    }
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() != LinesPerRun) {
        return std::to_string(lines.size()) + " lines where a complete run has " +
               std::to_string(LinesPerRun);
    }
    bool seen[FileCount] = {};
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string problem = ParseLine(i, lines[i], run, seen);
        if (!problem.empty()) {
            return "line " + std::to_string(i + 1) + " [" + lines[i] + "]: " + problem;
        }
    }
    return CheckRun(*run, lines.back());
}

} // namespace tools
