// Every sentence and phrase the reports say about a verdict: its conclusion, the short phrase of
// a table cell or a card, the caveat about the cache, the confidence, the figures. Text,
// Markdown, charts, the page and the merged table all take their words from here.
#pragma once

#include "runs/comparison.h"

#include <span>
#include <string>
#include <vector>

namespace tools {

// The options a sentence may suggest to settle what it leaves open; "" where the driver has none.
struct Suggestions {
    std::string runs;   // "--runs" or "--max-runs"
    std::string margin; // "--margin"
};

// "95" for a level of 0.05.
std::string ConfidenceText(double level);

// A level as a fraction where it is one ("1/64"), otherwise in decimals.
std::string LevelText(double level);

// "3%" for a margin of 0.03.
std::string MarginText(double margin);

// The interval's two bounds with enough digits that a bound on one side of 1 never prints as 1.
std::string IntervalText(double low, double high);
// One ratio the same way: "1.17", with more digits where two would show 1 for what is not 1.
std::string RatioText(double ratio);
// Two bounds, each as RatioText shows it, with the dash of IntervalText: "0.64-1.03".
std::string RangeText(double low, double high);

// The verdict in one number and one direction: "two readers at once were 1.18x as fast (95% CI
// 1.10-1.27)", "one reader was 1.86x as fast as two at once (...)", "the same within 3% (...)",
// "two readers at once were faster, by less than 3% (...)", "no clear difference (...): about 40
// runs would likely settle it", or why there is no interval.
std::string SpeedupConclusion(const SpeedupEstimate& estimate, const Suggestions& suggest = {});

// The verdict in a few words, for table cells: "two readers faster", "same within 3%", ...
std::string VerdictPhrase(const SpeedupEstimate& estimate);

// A verdict's own words, with no figure: "two readers faster", "one reader faster", "the same
// within 3%" or "no clear difference".
std::string VerdictWords(Verdict verdict, double margin);

// What intervals are called, by the noun given ("interval" in a caption, "CI" heading a column):
// "97.5% interval" where every estimate shares one level, "interval at each report's level"
// where they differ.
std::string IntervalName(const std::vector<double>& levels, const std::string& noun);
// The levels of every program of the comparisons, or of the reports.
std::vector<double> LevelsOf(std::span<const Comparison> comparisons);

// The figures under a verdict on a card: "speed-up 0.96 (97.5% CI 0.51-1.06), 8 runs", or why
// there is no interval.
std::string SpeedupFigures(const SpeedupEstimate& estimate);

// "1.18 (1.10-1.27)", or "2.15 (no interval)"
std::string SpeedupCell(const SpeedupEstimate& estimate);

// What the verdict's sentence adds about the cache, "" where nothing is in doubt.
std::string CacheCaveat(CacheDoubt doubt);

// The few words a chart's row adds where the file system did not keep the files out of the cache
// as readrace_nobuf asked: "read through the page cache"; "" otherwise.
std::string CacheNote(CacheDoubt doubt);

// A program's whole conclusion, and its table cell: the verdict with the caveat about the cache.
std::string Conclusion(const DeliverableRuns& deliverable, const Suggestions& suggest = {});
std::string VerdictCell(const DeliverableRuns& deliverable);

// For one deliverable over sizes in rising order: "at every size, two readers faster" where the
// verdict never turns; "from 16 MiB on, two readers faster" where it turns at one size and holds
// from there on; "" otherwise.
std::string Crossover(const std::vector<Comparison>& sweep, const std::string& deliverable);

} // namespace tools
