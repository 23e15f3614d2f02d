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
    return Fixed(digits, low) + "-" + Fixed(digits, high);
}

std::string RatioText(double ratio) {
    return Fixed(IntervalDigits(ratio, ratio), ratio);
}

std::string SpeedupConclusion(const SpeedupEstimate& e, const Suggestions& suggest) {
    const std::string ci = ConfidenceText(e.level) + "% CI ";
    const std::string margin = MarginText(e.margin);
    if (e.runs == 0) {
        return "no runs, no verdict";
    }
    if (e.rank == 0) {
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

std::string VerdictPhrase(const SpeedupEstimate& e) {
    if (e.rank == 0) {
        return "no verdict: too few runs";
    }
    const std::string within = ", by less than " + MarginText(e.margin);
    switch (e.verdict) {
    case Verdict::Parallel:
        return "two readers faster" + (e.high <= 1 + e.margin ? within : "");
    case Verdict::Serial:
        return "one reader faster" + (1 / e.low <= 1 + e.margin ? within : "");
    case Verdict::Equivalent:
        return "the same within " + MarginText(e.margin);
    case Verdict::Unclear:
        break;
    }
    return "no clear difference";
}

std::string VerdictLabel(const SpeedupEstimate& e) {
    switch (e.verdict) {
    case Verdict::Parallel:
        return "two readers faster";
    case Verdict::Serial:
        return "one reader faster";
    case Verdict::Equivalent:
        return "the same within " + MarginText(e.margin);
    case Verdict::Unclear:
        break;
    }
    return "no clear difference";
}

std::string SpeedupCell(const SpeedupEstimate& e) {
    return Format("%.2f", e.median) +
           (e.rank > 0 ? " (" + IntervalText(e.low, e.high) + ")" : " (no interval)");
}

std::string CacheCaveat(CacheDoubt doubt) {
    switch (doubt) {
    case CacheDoubt::None:
        break;
    case CacheDoubt::ServedSerial:
        return "; but its serial phase read what the parallel phase had cached";
    case CacheDoubt::CachedAfter:
        return "; but its serial phase may have read what the parallel phase had cached (the "
               "files were in the page cache after its runs; storage traffic not measured)";
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

std::string Conclusion(const DeliverableRuns& deliverable, const Suggestions& suggest) {
    return SpeedupConclusion(deliverable.speedup, suggest) + CacheCaveat(deliverable.cacheDoubt);
}

std::string VerdictCell(const DeliverableRuns& deliverable) {
    return VerdictPhrase(deliverable.speedup) + CacheCaveat(deliverable.cacheDoubt);
}

std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable) {
    std::vector<std::pair<unsigned long long, std::string>> verdicts;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            if (d.name == deliverable) {
                verdicts.push_back({comparison.fileSize, VerdictPhrase(d.speedup)});
            }
        }
    }
    if (verdicts.empty()) {
        return "";
    }
    // The verdict at the largest size, and how far down it holds.
    const std::string answer = verdicts.back().second;
    size_t from = verdicts.size() - 1;
    while (from > 0 && verdicts[from - 1].second == answer) {
        --from;
    }
    if (from == 0) {
        return verdicts.size() > 1 ? "at every size, " + answer : "";
    }
    if (answer == VerdictPhrase(SpeedupEstimate()) || answer == "no clear difference") {
        return "";
    }
    return "from " + FormatSize(verdicts[from].first) + " on, " + answer;
}

} // namespace tools
