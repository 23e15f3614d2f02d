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

std::string ParseRunOutput(const std::string& text, RunOutput* run) {
    static const std::regex fileLine(R"(\* ([0-9])\.tmp (-?[0-9]+))");
    static const std::regex parallelLine(R"(Parallel total time: (-?[0-9]+))");
    static const std::regex serialLine(R"(Serial total time: (-?[0-9]+))");
    static const std::regex outcomeLine(
        R"(Outcome: (Parallel|Serial) was worse\. (?:(-?[0-9]+)% as long as (serial|parallel)\.|No percentage: (serial|parallel) total is 0\.))");
    *run = RunOutput();
    if (!text.empty() && text.back() != '\n') {
        return "the output ends inside a line";
    }
    const std::vector<std::string> lines = Lines(text);
    if (lines.size() != LinesPerRun) {
        return std::to_string(lines.size()) + " lines where a complete run has " +
               std::to_string(LinesPerRun);
    }
    // The parallel phase's files, its total, the serial phase's files, its total, the outcome.
    const size_t parallelTotalLine = FileCount, serialTotalLine = 2 * FileCount + 1;
    bool seen[FileCount] = {};
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string where = "line " + std::to_string(i + 1) + " [" + line + "]: ";
        std::smatch match;
        if (i != parallelTotalLine && i < serialTotalLine) {
            long long ticks = 0;
            if (!std::regex_match(line, match, fileLine) || !ParseTicks(match[2], &ticks)) {
                return where + "not a per-file line";
            }
            const int file = match[1].str()[0] - '0';
            if (i < parallelTotalLine) {
                if (seen[file]) {
                    return where + "the file is listed twice in the parallel phase";
                }
                seen[file] = true;
                run->parallel.push_back({file, ticks});
            } else {
                if (file != (int)(i - parallelTotalLine - 1)) {
                    return where + "the serial phase is out of order";
                }
                run->serial.push_back({file, ticks});
            }
        } else if (i == parallelTotalLine) {
            if (!std::regex_match(line, match, parallelLine) ||
                !ParseTicks(match[1], &run->parallelTotal)) {
                return where + "not the parallel total";
            }
        } else if (i == serialTotalLine) {
            if (!std::regex_match(line, match, serialLine) ||
                !ParseTicks(match[1], &run->serialTotal)) {
                return where + "not the serial total";
            }
        } else {
            if (!std::regex_match(line, match, outcomeLine)) {
                return where + "not an outcome line";
            }
            run->parallelWorse = match[1] == "Parallel";
            run->hasPercentage = match[2].matched;
            if (run->hasPercentage && !ParseTicks(match[2], &run->percentage)) {
                return where + "the percentage does not fit";
            }
        }
    }
    // A run with a total of 0 or less, or whose outcome line disagrees with its totals, was not
    // timed as the program means to: it is a faulty run, never a speed-up to count or drop.
    if (run->parallelTotal <= 0 || run->serialTotal <= 0) {
        return "a total that is not positive (parallel " + std::to_string(run->parallelTotal) +
               ", serial " + std::to_string(run->serialTotal) + "): a faulty run";
    }
    if (!OutcomeAgrees(*run)) {
        return "line " + std::to_string(LinesPerRun) + " [" + lines.back() +
               "]: the outcome disagrees with the totals (parallel " +
               std::to_string(run->parallelTotal) + ", serial " + std::to_string(run->serialTotal) +
               "): a faulty run";
    }
    // Each worker prints its own list in order.
    int nextFirst = 0, nextSecond = FileCount / 2;
    for (const FileTicks& time : run->parallel) {
        int& next = time.file < FileCount / 2 ? nextFirst : nextSecond;
        if (time.file != next) {
            return "the parallel phase has " + std::to_string(time.file) +
                   ".tmp out of its worker's order";
        }
        ++next;
    }
    return "";
}

} // namespace tools
