#include "runs/speedup_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace tools {

namespace {

// 2 P(Binomial(n, 1/2) <= j) for j = 0, 1, ... up to the first above limit. SignTail and
// SignRank both sum here in the same order, so a level taken from one is met exactly by the
// other.
std::vector<double> SignTails(int n, double limit) {
    std::vector<double> tails;
    const double whole = std::lgamma((double)n + 1) - (double)n * std::log(2.0);
    double sum = 0;
    for (int j = 0; j <= n; ++j) {
        sum += std::exp(whole - std::lgamma((double)j + 1) - std::lgamma((double)(n - j) + 1));
        tails.push_back(std::min(2.0, 2 * sum));
        if (tails.back() > limit) {
            break;
        }
    }
    return tails;
}

// z with P(|Z| > z) = p for a standard normal Z.
double NormalQuantile(double p) {
    double low = 0, high = 40;
    for (int i = 0; i < 100; ++i) {
        const double middle = (low + high) / 2;
        (std::erfc(middle / std::sqrt(2.0)) > p ? low : high) = middle;
    }
    return (low + high) / 2;
}

} // namespace

double SignTail(int n, int j) {
    if (j < 0) {
        return 0;
    }
    const std::vector<double> tails = SignTails(n, 2);
    return j < (int)tails.size() ? tails[j] : 2;
}

int SignRank(int n, double level) {
    if (n <= 0) {
        return 0;
    }
    const std::vector<double> tails = SignTails(n, level);
    int rank = 0;
    while (rank < (int)tails.size() && tails[rank] <= level) {
        ++rank;
    }
    return rank;
}

double AnyLookExcludes(int firstLook, int lastLook, double perLookLevel) {
    // below[b]: the chance that b of the runs so far lie below the median and no look has
    // excluded it yet.
    std::vector<double> below(lastLook + 2, 0.0);
    below[0] = 1;
    double excluded = 0;
    for (int n = 1; n <= lastLook; ++n) {
        for (int b = n; b >= 1; --b) {
            below[b] = (below[b] + below[b - 1]) / 2;
        }
        below[0] /= 2;
        if (n < firstLook) {
            continue;
        }
        // [x(k), x(n+1-k)] misses the median when at most k-1 runs, or at least n+1-k, lie
        // below it.
        const int k = SignRank(n, perLookLevel);
        for (int b = 0; b < k; ++b) {
            excluded += below[b] + below[n - b];
            below[b] = below[n - b] = 0;
        }
    }
    return excluded;
}

SpeedupPlan FixedPlan(double level, double margin) {
    SpeedupPlan plan;
    plan.level = plan.perLookLevel = level;
    plan.margin = margin;
    return plan;
}

SpeedupPlan SequentialPlan(int firstLook, int lastLook, double level, double margin) {
    SpeedupPlan plan;
    plan.sequential = true;
    plan.firstLook = std::max(1, firstLook);
    plan.lastLook = std::min(lastLook, LargestCap);
    plan.level = plan.perLookLevel = level;
    plan.margin = margin;
    // The overall chance only grows where some look's rank does, at one of these tails: the
    // largest of them that keeps it within the level is the per-look level.
    std::vector<double> candidates;
    for (int n = plan.firstLook; n <= plan.lastLook; ++n) {
        const std::vector<double> tails = SignTails(n, level);
        for (const double tail : tails) {
            if (tail <= level) {
                candidates.push_back(tail);
            }
        }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    size_t good = 0, bad = candidates.size() + 1; // 1-based: 0 stands for none
    while (bad - good > 1) {
        const size_t middle = (good + bad) / 2;
        if (AnyLookExcludes(plan.firstLook, plan.lastLook, candidates[middle - 1]) <= level) {
            good = middle;
        } else {
            bad = middle;
        }
    }
    if (good > 0) {
        plan.perLookLevel = candidates[good - 1];
        plan.errorBound = AnyLookExcludes(plan.firstLook, plan.lastLook, plan.perLookLevel);
    }
    return plan;
}

bool HasInterval(const SpeedupEstimate& e) {
    return e.rank > 0 && std::isfinite(e.low) && std::isfinite(e.high) && e.low > 0 && e.high > 0;
}

SpeedupEstimate EstimateSpeedup(const std::vector<double>& speedups, const SpeedupPlan& plan) {
    SpeedupEstimate e;
    const int n = (int)speedups.size();
    e.runs = n;
    e.margin = plan.margin;
    e.level = plan.level;
    e.sequential = plan.sequential;
    if (plan.sequential) {
        e.perLookLevel = plan.perLookLevel;
        e.errorBound = plan.errorBound;
        e.firstLook = plan.firstLook;
        e.lastLook = plan.lastLook;
        e.looks = std::max(0, std::min(n, plan.lastLook) - plan.firstLook + 1);
        e.rank = n >= plan.firstLook ? SignRank(n, plan.perLookLevel) : 0;
    } else {
        e.perLookLevel = plan.level;
        e.firstLook = e.lastLook = n;
        e.looks = n > 0 ? 1 : 0;
        e.rank = SignRank(n, plan.level);
        e.errorBound = e.rank > 0 ? SignTail(n, e.rank - 1) : 0;
    }
    if (n == 0) {
        return e;
    }
    e.median = MedianOf(speedups);
    e.low = e.high = e.median;
    if (e.rank == 0) {
        return e;
    }
    std::vector<double> sorted = speedups;
    std::sort(sorted.begin(), sorted.end());
    e.low = sorted[e.rank - 1];
    e.high = sorted[n - e.rank];
    if (e.low > 1) {
        e.verdict = Verdict::Parallel;
    } else if (e.high < 1) {
        e.verdict = Verdict::Serial;
    } else if (e.low >= 1 / (1 + e.margin) && e.high <= 1 + e.margin) {
        e.verdict = Verdict::Equivalent;
    }
    return e;
}

namespace {

// The projected chance of a verdict at which a count is suggested. The projection takes the
// runs' spread as the truth, and for the centre the least favourable within one standard error
// of the one seen, since a few runs' centre is far from sure (readrace_verdict_sim --settle
// gives the shares that fresh sessions reach).
constexpr double SettleChance = 0.8;

double NormalBelow(double x) {
    return std::erfc(-x / std::sqrt(2.0)) / 2;
}

// The projected chance that n fresh runs at the level settle it, when the log speed-ups have
// this centre and spread: the interval's ends [x(k), x(n+1-k)] as normal order statistics, at
// Blom's positions with their large-sample spread. Also, in wide, how far the ends lie from the
// centre; none at rank 0.
double ChanceToSettle(int n, double level, double centre, double sigma, double margin,
                      double* wide) {
    const int k = SignRank(n, level);
    *wide = HUGE_VAL;
    if (k == 0) {
        return 0;
    }
    const double p = (k - 0.375) / (n + 0.25);
    const double z = NormalQuantile(2 * p);
    *wide = sigma * z;
    const double spread = sigma * std::sqrt(p * (1 - p) / (n + 2)) *
                          std::sqrt(2 * std::numbers::pi) * std::exp(z * z / 2);
    const double low = centre - *wide, high = centre + *wide, within = std::log1p(margin);
    const double excludes = NormalBelow(low / spread) + NormalBelow(-high / spread);
    const double inside =
        NormalBelow((within - high) / spread) * NormalBelow((low + within) / spread);
    return std::min(1.0, std::max(excludes, inside));
}

// The fewest runs above n whose interval, at the level, is projected narrower than nowWide and
// likely to settle it; LargestCap + 1 where none up to the cap is.
int FewestRunsToSettle(int n, double level, double nowWide, double centre, double sigma,
                       double margin) {
    int runs = n + 1;
    for (; runs <= LargestCap; ++runs) {
        double wide = 0;
        const double chance = ChanceToSettle(runs, level, centre, sigma, margin, &wide);
        if (wide < nowWide && chance >= SettleChance) {
            break;
        }
    }
    return runs;
}

} // namespace

int RunsToSettle(const std::vector<double>& speedups, const SpeedupPlan& plan) {
    const int n = (int)speedups.size();
    if (n < 2) {
        return 0;
    }
    // The spread on the log scale, with sigma from the median absolute deviation, which the odd
    // far-off run does not sway.
    std::vector<double> logs;
    for (const double speedup : speedups) {
        logs.push_back(std::log(speedup));
    }
    const double seen = MedianOf(logs);
    std::vector<double> deviations;
    for (const double value : logs) {
        deviations.push_back(std::fabs(value - seen));
    }
    const double sigma = 1.4826 * MedianOf(deviations);
    if (sigma <= 0) {
        return 0;
    }
    // A count whose interval keeps the same ranks as now, or wider ones, cannot settle what this
    // one did not (seven runs at 95% still span the least to the most, as six do): the count must
    // be one whose projected interval is narrower than this one's.
    double nowWide = 0;
    ChanceToSettle(n, plan.perLookLevel, seen, sigma, plan.margin, &nowWide);
    // Hardest to settle is a true centre half the margin from 1: too near 1 to exclude it, too
    // far to be the same within the margin.
    const double error = 1.2533 * sigma / std::sqrt((double)n), half = std::log1p(plan.margin) / 2;
    const double centre = std::clamp(half, std::fabs(seen) - error, std::fabs(seen) + error);
    double level = plan.perLookLevel;
    int runs = FewestRunsToSettle(n, level, nowWide, centre, sigma, plan.margin);
    // In auto mode a larger cap lowers the per-look level, which widens every look's interval:
    // the count is looked for again at the level its own cap gives, until it holds.
    for (int round = 0; plan.sequential && runs <= LargestCap && round < 8; ++round) {
        level = SequentialPlan(plan.firstLook, runs, plan.level, plan.margin).perLookLevel;
        double wide = 0;
        if (ChanceToSettle(runs, level, centre, sigma, plan.margin, &wide) >= SettleChance) {
            break;
        }
        runs = FewestRunsToSettle(runs, level, nowWide, centre, sigma, plan.margin);
    }
    return runs > LargestCap ? -1 : runs;
}

int RunsForAnInterval(const SpeedupEstimate& e) {
    int n = 1;
    while (n < 64 && SignTail(n, 0) > e.perLookLevel) {
        ++n;
    }
    return e.sequential ? std::max(n, e.firstLook) : n;
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Parallel:
        return "parallel";
    case Verdict::Serial:
        return "serial";
    case Verdict::Equivalent:
        return "equivalent";
    case Verdict::Unclear:
        break;
    }
    return "unclear";
}

Verdict VerdictFromName(const std::string& name) {
    for (const Verdict verdict : {Verdict::Parallel, Verdict::Serial, Verdict::Equivalent}) {
        if (name == VerdictName(verdict)) {
            return verdict;
        }
    }
    return Verdict::Unclear;
}

double CoefficientOfVariation(const std::vector<double>& values) {
    if (values.size() < 2) {
        return 0;
    }
    double mean = 0;
    for (const double value : values) {
        mean += value;
    }
    mean /= (double)values.size();
    double squares = 0;
    for (const double value : values) {
        squares += (value - mean) * (value - mean);
    }
    const double deviation = std::sqrt(squares / (double)(values.size() - 1));
    return mean != 0 ? deviation / std::fabs(mean) : 0;
}

} // namespace tools
