#include "report/verdict_text.h"

#include "common/number_text.h"
#include "common/size_text.h"

#include <cmath>
#include <cstdlib>

namespace tools {

namespace {

std::string Fixed(int digits, double value) {
    return Format("%.*f", digits, value);
}

// Decimals that keep a bound on either side of 1 from printing as 1: two, or more where needed.
int IntervalDigits(double low, double high) {
    int digits = 2;
    for (; digits < 9; ++digits) {
        const bool lowShown = !(low > 1) || strtod(Fixed(digits, low).c_str(), nullptr) > 1;
        const bool highShown = !(high < 1) || strtod(Fixed(digits, high).c_str(), nullptr) < 1;
        if (lowShown && highShown) {
            break;
        }
    }
    return digits;
}

// Between two bounds, wherever an interval or a range is printed: a hyphen, as the text, JSON
// and Markdown reports have always had it, for the scripts that read them.
std::string Bounds(const std::string& low, const std::string& high) {
    return low + "-" + high;
}

} // namespace

std::string MarginText(double margin) {
    return Format("%g%%", std::round(margin * 1e6) / 1e4);
}

std::string ConfidenceText(double level) {
    return Format("%g", std::round((1 - level) * 1e6) / 1e4);
}

std::string LevelText(double level) {
    const double inverse = level > 0 ? std::round(1 / level) : 0;
    if (inverse >= 2 && std::fabs(inverse * level - 1) < 1e-9) {
        return "1/" + Format("%.0f", inverse);
    }
    return Format("%.4g", level);
}

std::string IntervalText(double low, double high) {
    const int digits = IntervalDigits(low, high);
    return Bounds(Fixed(digits, low), Fixed(digits, high));
}

std::string RatioText(double ratio) {
    return Fixed(IntervalDigits(ratio, ratio), ratio);
}

std::string RangeText(double low, double high) {
    return Bounds(RatioText(low), RatioText(high));
}

std::string SpeedupConclusion(const SpeedupEstimate& e, const Suggestions& suggest) {
    const std::string ci = ConfidenceText(e.level) + "% CI ";
    const std::string margin = MarginText(e.margin);
    if (e.runs == 0) {
        return "no runs, no verdict";
    }
    if (!HasInterval(e)) {
        const int needed = RunsForAnInterval(e);
        return std::to_string(e.runs) + (e.runs == 1 ? " run is" : " runs are") +
               " too few for a verdict: no " + ConfidenceText(e.level) +
               "% interval from so few can exclude anything (it takes " + std::to_string(needed) +
               " runs at least)";
    }
    const double up = 1 + e.margin;
    if (e.verdict == Verdict::Parallel || e.verdict == Verdict::Serial) {
        const bool parallel = e.verdict == Verdict::Parallel;
        // One direction: how many times as fast the faster way was, and its interval so.
        const double times = parallel ? e.median : 1 / e.median;
        const double low = parallel ? e.low : 1 / e.high, high = parallel ? e.high : 1 / e.low;
        const int digits = IntervalDigits(low, high);
        const std::string figures = ci + IntervalText(low, high) + ")";
        if (high <= up) {
            return std::string(parallel ? "two readers at once were faster"
                                        : "one reader was faster than two at once") +
                   ", by less than " + margin + " (" + Fixed(digits, times) + "x as fast, " +
                   figures;
        }
        return (parallel ? "two readers at once were " : "one reader was ") + Fixed(digits, times) +
               (parallel ? "x as fast (" : "x as fast as two at once (") + figures;
    }
    const int digits = IntervalDigits(e.low, e.high);
    const std::string figures =
        "(speed-up " + Fixed(digits, e.median) + ", " + ci + IntervalText(e.low, e.high) + ")";
    if (e.verdict == Verdict::Equivalent) {
        return "the same within " + margin + " " + figures;
    }
    std::string text = "no clear difference " + figures;
    if (e.runsToSettle > 0) {
        const std::string runs = std::to_string(e.runsToSettle);
        text += ": about " + runs + " runs in all would likely settle it" +
                (suggest.runs.empty() ? "" : " (" + suggest.runs + " " + runs + ")");
    } else if (e.runsToSettle < 0) {
        text += ": the runs vary too much for even " + std::to_string(LargestCap) +
                " runs to settle it within " + margin + "; try a quieter machine" +
                (suggest.margin.empty() ? "" : " or a wider " + suggest.margin);
    }
    return text;
}

namespace {

// Whether the faster way was faster by less than the margin: all the interval lies inside it.
bool WithinMargin(const SpeedupEstimate& e) {
    return (e.verdict == Verdict::Parallel && e.high <= 1 + e.margin) ||
           (e.verdict == Verdict::Serial && 1 / e.low <= 1 + e.margin);
}

} // namespace

std::string VerdictWords(Verdict verdict, double margin) {
    switch (verdict) {
    case Verdict::Parallel:
        return "two readers faster";
    case Verdict::Serial:
        return "one reader faster";
    case Verdict::Equivalent:
        return "the same within " + MarginText(margin);
    case Verdict::Unclear:
        break;
    }
    return "no clear difference";
}

std::string VerdictPhrase(const SpeedupEstimate& e) {
    if (!HasInterval(e)) {
        return "no verdict: too few runs";
    }
    return VerdictWords(e.verdict, e.margin) +
           (WithinMargin(e) ? ", by less than " + MarginText(e.margin) : "");
}

std::string IntervalName(const std::vector<double>& levels, const std::string& noun) {
    for (const double level : levels) {
        if (level != levels.front()) {
            return noun + " at each report's level";
        }
    }
    return (levels.empty() ? "" : ConfidenceText(levels.front()) + "% ") + noun;
}

std::vector<double> LevelsOf(std::span<const Comparison> comparisons) {
    std::vector<double> levels;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            levels.push_back(d.speedup.level);
        }
    }
    return levels;
}

std::string SpeedupFigures(const SpeedupEstimate& e) {
    if (!HasInterval(e)) {
        return "speed-up " + RatioText(e.median) + " from " + std::to_string(e.runs) + " run" +
               (e.runs == 1 ? "" : "s") + ": too few for an interval";
    }
    return "speed-up " + RatioText(e.median) + " (" + ConfidenceText(e.level) + "% CI " +
           RangeText(e.low, e.high) + "), " + std::to_string(e.runs) + " runs";
}

std::string SpeedupCell(const SpeedupEstimate& e) {
    return Format("%.2f", e.median) +
           (HasInterval(e) ? " (" + IntervalText(e.low, e.high) + ")" : " (no interval)");
}

std::string CacheCaveat(CacheDoubt doubt) {
    switch (doubt) {
    case CacheDoubt::None:
        break;
    case CacheDoubt::ServedSerial:
        return "; but its serial phase read what the parallel phase had cached";
    case CacheDoubt::CachedAfter:
        return "; but its serial phase read what the parallel phase had cached (the files were "
               "in the page cache after its runs; storage traffic not measured)";
    case CacheDoubt::BypassIgnored:
        return "; but this file system read readrace_nobuf's files through the page cache; its "
               "serial phase read what the parallel phase had cached";
    case CacheDoubt::BypassIgnoredReadTwice:
        return "; but this file system left readrace_nobuf's files in the page cache, though "
               "storage traffic shows both phases reading them from storage";
    case CacheDoubt::UnknownBuffered:
    case CacheDoubt::UnknownUnbuffered:
        return std::string("; but the cache may have served its serial phase (") +
               (doubt == CacheDoubt::UnknownBuffered
                    ? "buffered reads"
                    : "unbuffered reads, which this system may still cache") +
               "; storage traffic and the cache's contents not measured)";
    }
    return "";
}

std::string CacheNote(CacheDoubt doubt) {
    switch (doubt) {
    case CacheDoubt::BypassIgnored:
        return "read through the page cache";
    case CacheDoubt::BypassIgnoredReadTwice:
        return "left in the page cache";
    default:
        return "";
    }
}

std::string Conclusion(const DeliverableRuns& deliverable, const Suggestions& suggest) {
    return SpeedupConclusion(deliverable.speedup, suggest) + CacheCaveat(deliverable.cacheDoubt);
}

std::string VerdictCell(const DeliverableRuns& deliverable) {
    return VerdictPhrase(deliverable.speedup) + CacheCaveat(deliverable.cacheDoubt);
}

std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable) {
    // Each size's verdict as the cells show it: a verdict, and whether it is within the margin.
    struct Answer {
        unsigned long long size;
        bool interval;
        Verdict verdict;
        bool within;
        std::string phrase;
    };
    std::vector<Answer> answers;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            if (d.name == deliverable) {
                answers.push_back({comparison.fileSize, HasInterval(d.speedup), d.speedup.verdict,
                                   WithinMargin(d.speedup), VerdictPhrase(d.speedup)});
            }
        }
    }
    auto same = [](const Answer& a, const Answer& b) {
        return a.interval == b.interval && a.verdict == b.verdict && a.within == b.within;
    };
    if (answers.empty()) {
        return "";
    }
    // The verdict at the largest size, and how far down it holds.
    const Answer& answer = answers.back();
    size_t from = answers.size() - 1;
    while (from > 0 && same(answers[from - 1], answer)) {
        --from;
    }
    if (from == 0) {
        return answers.size() > 1 ? "at every size, " + answer.phrase : "";
    }
    if (!answer.interval || answer.verdict == Verdict::Unclear) {
        return "";
    }
    return "from " + FormatSize(answers[from].size) + " on, " + answer.phrase;
}

} // namespace tools
