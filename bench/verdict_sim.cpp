// readrace_verdict_sim: how often readrace_compare's verdict is wrong, and how many runs it takes,
// by simulated runs fed through the companions' own statistics: the plans and EstimateSpeedup
// that readrace_compare uses, stopping as auto mode stops (every program has its verdict, or
// the cap). Each speed-up is the true one times noise whose median is exactly 1.
#include "common/command_line.h"
#include "report/verdict_text.h"
#include "runs/speedup_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Shape { Normal, HeavyTailed, Skewed };

const char* ShapeName(Shape shape) {
    return shape == Shape::Normal        ? "normal"
           : shape == Shape::HeavyTailed ? "heavy-tailed (10% far off)"
                                         : "skewed (exponential)";
}

// A factor around 1 with about cv as its coefficient of variation and a median of exactly 1.
double Noise(Shape shape, double cv, std::mt19937_64& random) {
    std::normal_distribution<double> normal(0, 1);
    // Clipped evenly on both sides, so the median stays put and no speed-up falls to 0.
    const double z = std::clamp(normal(random), -0.9 / cv, 0.9 / cv);
    if (shape == Shape::Skewed) {
        std::exponential_distribution<double> exponential(1);
        return 1 + cv * (exponential(random) - std::log(2.0));
    }
    if (shape == Shape::HeavyTailed && std::uniform_real_distribution<double>(0, 1)(random) < 0.1) {
        const double far = 1 + 4 * cv * std::fabs(normal(random));
        return random() % 2 ? far : 1 / far;
    }
    return 1 + cv * z;
}

struct Session {
    tools::Verdict verdict[2] = {tools::Verdict::Unclear, tools::Verdict::Unclear};
    int runs = 0;
};

// One auto-mode session of one or two programs with the same true speed-up; or, with fixedRuns,
// one fixed count of runs.
Session RunSession(int programs, double truth, Shape shape, double cv, int fixedRuns,
                   const tools::SpeedupPlan& plan, std::mt19937_64& random,
                   std::vector<double>* firstSpeedups = nullptr) {
    Session session;
    std::vector<double> speedups[2];
    const int cap = fixedRuns > 0 ? fixedRuns : plan.lastLook;
    for (int run = 1; run <= cap; ++run) {
        bool settled = true;
        for (int p = 0; p < programs; ++p) {
            speedups[p].push_back(truth * Noise(shape, cv, random));
            if (fixedRuns > 0 ? run == fixedRuns : run >= plan.firstLook) {
                session.verdict[p] = tools::EstimateSpeedup(speedups[p], plan).verdict;
            }
            settled = settled && session.verdict[p] != tools::Verdict::Unclear;
        }
        session.runs = run;
        if (fixedRuns == 0 && settled) {
            break;
        }
    }
    if (firstSpeedups) {
        *firstSpeedups = speedups[0];
    }
    return session;
}

bool Claims(tools::Verdict verdict) {
    return verdict == tools::Verdict::Parallel || verdict == tools::Verdict::Serial;
}

double Share(int count, int sessions) {
    return sessions > 0 ? 100.0 * count / sessions : 0;
}

// The sessions, out of those at a first count that had no verdict, given the count suggested
// to settle it and run afresh with it.
struct Settling {
    int unclear = 0;   // first sessions with an interval and no verdict
    int suggested = 0; // of those, with a count suggested (not: too noisy for LargestCap)
    int settled = 0;   // of those, a fresh session at the suggested count had a verdict
    int tooFew = 0;    // suggestions at which the interval is no narrower than at the first count
    std::vector<int> counts;
};

// Fixed counts rerun at --runs N; auto mode (firstRuns 0) at --max-runs N, whose plans are kept
// in plans by their cap as each is first asked for.
Settling Settle(double truth, Shape shape, double cv, int firstRuns, const tools::SpeedupPlan& plan,
                std::vector<tools::SpeedupPlan>& plans, int sessions, std::mt19937_64& random) {
    Settling result;
    for (int s = 0; s < sessions; ++s) {
        std::vector<double> speedups;
        const Session first = RunSession(1, truth, shape, cv, firstRuns, plan, random, &speedups);
        const tools::SpeedupEstimate e = tools::EstimateSpeedup(speedups, plan);
        if (first.verdict[0] != tools::Verdict::Unclear || e.rank == 0) {
            continue;
        }
        ++result.unclear;
        const int runs = tools::RunsToSettle(speedups, plan);
        if (runs <= 0) {
            continue;
        }
        ++result.suggested;
        result.counts.push_back(runs);
        tools::SpeedupPlan again = tools::FixedPlan(plan.level, plan.margin);
        if (plan.sequential) {
            if (plans[runs].lastLook != runs) {
                plans[runs] = tools::SequentialPlan(plan.firstLook, runs, plan.level, plan.margin);
            }
            again = plans[runs];
        }
        const int ranks = tools::SignRank(runs, again.perLookLevel);
        result.tooFew += ranks <= e.rank && !plan.sequential;
        result.settled +=
            RunSession(1, truth, shape, cv, plan.sequential ? 0 : runs, again, random).verdict[0] !=
            tools::Verdict::Unclear;
    }
    return result;
}

int Percentile(std::vector<int> runs, double p) {
    std::sort(runs.begin(), runs.end());
    return runs[std::min(runs.size() - 1, (size_t)(p * (double)runs.size()))];
}

} // namespace

// What every table of the simulation shares.
struct Simulation {
    int sessions = 4000;
    int maxRuns = 30;
    bool check = false;
    tools::SpeedupPlan autoPlan, fixedPlan;
    double level = tools::DefaultLevel;
    double tolerance = 0; // three standard errors of a rate at the level
    std::mt19937_64 random;
    int failures = 0;
};

// Under --check, counts a rate over its promised limit as a failure, and says so.
void Promise(Simulation* sim, const char* what, double percent, double limit) {
    if (sim->check && percent > limit) {
        fprintf(stderr, "readrace_verdict_sim: %s: %.2f%%, over %.2f%%\n", what, percent, limit);
        ++sim->failures;
    }
}

// Of the sessions with no verdict, the share that a fresh session at the suggested count settles.
void PrintSettling(Simulation* sim) {
    printf("Sessions with no verdict, run afresh at the count they suggest (--runs N, or "
           "--max-runs N in auto mode with the cap %d); %d sessions per row\n\n",
           sim->maxRuns, sim->sessions);
    printf("| noise | CV | true speed-up | first session | no verdict | a count suggested | "
           "median count | 90th percentile count | settled at it | no narrower interval "
           "|\n|---|---|---|---|---|---|---|---|---|---|\n");
    std::vector<tools::SpeedupPlan> plans(tools::LargestCap + 1);
    const struct {
        Shape shape;
        double cv;
    } noises[] = {{Shape::Normal, 0.10}, {Shape::HeavyTailed, 0.10}, {Shape::Normal, 0.30}};
    for (const auto& [shape, cv] : noises) {
        for (const double truth : {1.0, 1.05, 1.15}) {
            for (const int firstRuns : {6, 10, 0}) {
                const Settling r =
                    Settle(truth, shape, cv, firstRuns, firstRuns ? sim->fixedPlan : sim->autoPlan,
                           plans, sim->sessions, sim->random);
                const std::string first =
                    firstRuns ? "--runs " + std::to_string(firstRuns) : "auto";
                printf("| %s | %.0f%% | %.2f | %s | %.1f%% | %.1f%% | %d | %d | %.1f%% | "
                       "%d |\n",
                       ShapeName(shape), cv * 100, truth, first.c_str(),
                       Share(r.unclear, sim->sessions), Share(r.suggested, r.unclear),
                       r.counts.empty() ? 0 : Percentile(r.counts, 0.5),
                       r.counts.empty() ? 0 : Percentile(r.counts, 0.9),
                       Share(r.settled, r.suggested), r.tooFew);
                // The shares are figures to read; a count that cannot narrow the interval
                // is a fault.
                sim->failures += sim->check && r.tooFew > 0;
            }
        }
    }
}

// How often a session claims a difference where there is none.
void PrintNoDifference(Simulation* sim) {
    printf("auto: looks from run %d to %d, each at the %s level; the chance that any look wrongly "
           "excludes the true median is %.2f%%\n%d sessions per case; tolerance in --check: "
           "%.2f points (three standard errors)\n\n",
           sim->autoPlan.firstLook, sim->autoPlan.lastLook,
           tools::LevelText(sim->autoPlan.perLookLevel).c_str(), sim->autoPlan.errorBound * 100,
           sim->sessions, sim->tolerance);
    printf("No true difference: sessions claiming one (%%)\n\n");
    printf("| noise | CV | auto | auto, median runs | auto, both programs | --runs 6 | --runs 10 "
           "| --runs 20 |\n|---|---|---|---|---|---|---|---|\n");
    for (const Shape shape : {Shape::Normal, Shape::HeavyTailed, Shape::Skewed}) {
        for (const double cv : {0.03, 0.10, 0.30, 0.60}) {
            int claims = 0, pairClaims = 0;
            std::vector<int> runs;
            for (int s = 0; s < sim->sessions; ++s) {
                const Session one = RunSession(1, 1, shape, cv, 0, sim->autoPlan, sim->random);
                claims += Claims(one.verdict[0]);
                runs.push_back(one.runs);
                const Session two = RunSession(2, 1, shape, cv, 0, sim->autoPlan, sim->random);
                pairClaims += Claims(two.verdict[0]) || Claims(two.verdict[1]);
            }
            printf("| %s | %.0f%% | %.2f | %d | %.2f |", ShapeName(shape), cv * 100,
                   Share(claims, sim->sessions), Percentile(runs, 0.5),
                   Share(pairClaims, sim->sessions));
            Promise(sim, "auto, no difference", Share(claims, sim->sessions),
                    100 * sim->level + sim->tolerance);
            Promise(sim, "auto, both programs", Share(pairClaims, sim->sessions),
                    200 * sim->level + 2 * sim->tolerance);
            for (const int fixedRuns : {6, 10, 20}) {
                int fixedClaims = 0;
                for (int s = 0; s < sim->sessions; ++s) {
                    fixedClaims +=
                        Claims(RunSession(1, 1, shape, cv, fixedRuns, sim->fixedPlan, sim->random)
                                   .verdict[0]);
                }
                printf(" %.2f |", Share(fixedClaims, sim->sessions));
                Promise(sim, "fixed runs, no difference", Share(fixedClaims, sim->sessions),
                        100 * sim->level + sim->tolerance);
            }
            printf("\n");
        }
    }
}

// How often a true difference is found, and in how many runs.
void PrintTrueDifference(Simulation* sim) {
    printf("\nA true difference, normal noise at CV 10%%, auto (the cap %d):\n\n", sim->maxRuns);
    printf("| true speed-up | found | wrong direction | the same within 3%% | no verdict | "
           "median runs | 90th percentile runs |\n|---|---|---|---|---|---|---|\n");
    for (const double truth : {1.05, 1.10, 1.15, 1.25}) {
        int found = 0, wrong = 0, same = 0, unclear = 0;
        std::vector<int> runs;
        for (int s = 0; s < sim->sessions; ++s) {
            const Session one =
                RunSession(1, truth, Shape::Normal, 0.10, 0, sim->autoPlan, sim->random);
            found += one.verdict[0] == tools::Verdict::Parallel;
            wrong += one.verdict[0] == tools::Verdict::Serial;
            same += one.verdict[0] == tools::Verdict::Equivalent;
            unclear += one.verdict[0] == tools::Verdict::Unclear;
            runs.push_back(one.runs);
        }
        printf("| %.2f | %.1f%% | %.2f%% | %.1f%% | %.1f%% | %d | %d |\n", truth,
               Share(found, sim->sessions), Share(wrong, sim->sessions), Share(same, sim->sessions),
               Share(unclear, sim->sessions), Percentile(runs, 0.5), Percentile(runs, 0.9));
        if (truth >= 1.15) {
            Promise(sim, "a true difference found", 100 - Share(found, sim->sessions),
                    20 + sim->tolerance);
            Promise(sim, "a true difference in the wrong direction", Share(wrong, sim->sessions),
                    1 + sim->tolerance);
        }
    }
}

int main(int argc, char** argv) {
    CLI::App app("Simulates readrace_compare's verdicts: how often they claim a difference where "
                 "there is none, and how many runs they take, through the companions' own "
                 "statistics.",
                 "readrace_verdict_sim");
    tools::AddVersion(app);
    Simulation sim;
    unsigned long long seed = 20261208;
    bool settle = false;
    app.add_option("--sessions", sim.sessions, "sessions per case")
        ->check(CLI::Range(100, 1000000))
        ->capture_default_str();
    app.add_option("--seed", seed, "the generator's seed")->capture_default_str();
    app.add_option("--max-runs", sim.maxRuns, "auto mode's cap")
        ->check(CLI::Range(5, tools::LargestCap))
        ->capture_default_str();
    app.add_flag("--check", sim.check,
                 "exit with status 1 where a rate breaks its promise by more than three standard "
                 "errors of the simulation");
    app.add_flag("--settle", settle,
                 "instead: of the sessions with no verdict, the share that a fresh session at the "
                 "suggested count settles (with --check: exit with status 1 where a suggested "
                 "count's interval is no narrower than the first session's)");
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    sim.autoPlan = tools::SequentialPlan(tools::FirstLook, sim.maxRuns);
    sim.fixedPlan = tools::FixedPlan();
    sim.tolerance = 300 * std::sqrt(sim.level * (1 - sim.level) / sim.sessions);
    sim.random.seed(seed);
    if (settle) {
        PrintSettling(&sim);
    } else {
        PrintNoDifference(&sim);
        PrintTrueDifference(&sim);
    }
    return sim.failures == 0 ? 0 : 1;
}
