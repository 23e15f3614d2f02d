#include "run_check.h"

#include <algorithm>
#include <climits>
#include <regex>

namespace runcheck {

Run Parse(const std::string& out) {
    static const std::regex fileLine(R"(\* ([0-9]\.tmp) (-?[0-9]+))");
    static const std::regex parallelLine(R"(Parallel total time: (-?[0-9]+))");
    static const std::regex serialLine(R"(Serial total time: (-?[0-9]+))");
    static const std::regex outcomeLine(R"(Outcome: .*)");
    Run run;
    for (std::string line : harness::SplitLines(out)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        ++run.lineCount;
        run.last = line;
        std::smatch match;
        if (std::regex_match(line, match, fileLine)) {
            FileTime time{match[1], std::stoll(match[2])};
            (run.hasParallelTotal ? run.serial : run.parallel).push_back(time);
        } else if (std::regex_match(line, match, parallelLine) && !run.hasParallelTotal) {
            run.hasParallelTotal = true;
            run.parallelTotal = std::stoll(match[1]);
        } else if (std::regex_match(line, match, serialLine) && !run.hasSerialTotal) {
            run.hasSerialTotal = true;
            run.serialTotal = std::stoll(match[1]);
        } else if (std::regex_match(line, outcomeLine) && run.outcome.empty()) {
            run.outcome = line;
        } else {
            run.malformed.push_back(line);
        }
    }
    return run;
}

std::string ExpectedOutcome(long long parallel, long long serial) {
    auto percentage = [](long long longer, long long shorter) {
        const long long product = (long long)((unsigned long long)longer * 100u);
        return product == LLONG_MIN && shorter == -1 ? LLONG_MIN : product / shorter;
    };
    if (serial <= parallel) {
        return serial == 0
                   ? "Outcome: Parallel was worse. No percentage: serial total is 0."
                   : "Outcome: Parallel was worse. " +
                         std::to_string(percentage(parallel, serial)) + "% as long as serial.";
    }
    return parallel == 0
               ? "Outcome: Serial was worse. No percentage: parallel total is 0."
               : "Outcome: Serial was worse. " + std::to_string(percentage(serial, parallel)) +
                     "% as long as parallel.";
}

std::vector<std::string> CheckCompleteRun(const Run& run) {
    std::vector<std::string> problems;
    for (const std::string& line : run.malformed) {
        problems.push_back("malformed line: [" + line + "]");
    }
    if (!run.hasParallelTotal || !run.hasSerialTotal || run.outcome.empty()) {
        problems.push_back("a total or the outcome is missing");
        return problems;
    }
    if (run.lineCount != 23 || run.last != run.outcome) {
        problems.push_back(std::to_string(run.lineCount) + " lines, the last [" + run.last + "]");
    }
    if (run.parallel.size() != 10 || run.serial.size() != 10) {
        problems.push_back("expected 10 per-file lines in each phase, got " +
                           std::to_string(run.parallel.size()) + " and " +
                           std::to_string(run.serial.size()));
        return problems;
    }
    // Each worker's own lines come in its list's order; the serial phase in list order.
    std::string first, second, serial;
    long long firstTicks = 0, secondTicks = 0, serialTicks = 0;
    for (const FileTime& time : run.parallel) {
        const bool inFirst = time.name[0] < '5';
        (inFirst ? first : second) += time.name[0];
        (inFirst ? firstTicks : secondTicks) += time.ticks;
    }
    for (const FileTime& time : run.serial) {
        serial += time.name[0];
        serialTicks += time.ticks;
    }
    if (first != "01234" || second != "56789") {
        problems.push_back("worker orders are " + first + " and " + second);
    }
    if (serial != "0123456789") {
        problems.push_back("serial order is " + serial);
    }
    if (run.parallelTotal < firstTicks || run.parallelTotal < secondTicks) {
        problems.push_back("parallel total is less than one worker's files");
    }
    if (run.serialTotal < serialTicks) {
        problems.push_back("serial total is less than its files");
    }
    const std::string expected = ExpectedOutcome(run.parallelTotal, run.serialTotal);
    if (run.outcome != expected) {
        problems.push_back("outcome [" + run.outcome + "] where the totals call for [" + expected +
                           "]");
    }
    return problems;
}

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines = harness::SplitLines(text);
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace runcheck
