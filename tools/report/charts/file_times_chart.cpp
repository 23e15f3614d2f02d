#include "report/charts/charts.h"

#include "report/charts/chart_parts.h"
#include "runs/run_stats.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

namespace {

constexpr double X0 = 78, X1 = 678, PanelHeight = 210, Gap = 74, HeaderHeight = 60;

// A panel's scale: its top and bottom, and the time at its top.
struct TimeScale {
    double top, bottom, ceiling;
};

double TimeY(const TimeScale& scale, double ms) {
    return scale.bottom - (scale.bottom - scale.top) * ms / scale.ceiling;
}

// One file's times in one phase over the runs, as dots with their median; those above the
// ceiling as markers at the top, counted in clipped with the largest of them.
std::string PhaseDots(const std::vector<double>& values, const TimeScale& scale, double x,
                      const char* colour, int* clipped, double* largest) {
    // The dots share their colour through a group, which keeps the file small.
    std::string s = "<g fill=\"" + std::string(colour) + "\" fill-opacity=\"0.55\">\n";
    std::string markers;
    for (size_t i = 0; i < values.size(); ++i) {
        const double px = x + Jitter(i, 12);
        if (values[i] > scale.ceiling) {
            ++*clipped;
            *largest = std::max(*largest, values[i]);
            markers += Marker(px, scale.top + 2, 0, -1, colour, Number(values[i], "%.1f ms"));
        } else {
            s += Circle(px, TimeY(scale, std::max(0.0, values[i])), 2.8, "");
        }
    }
    s += "</g>\n" + markers;
    const double median = MedianOf(values);
    if (!values.empty() && median <= scale.ceiling) {
        s += Line(x - 9, TimeY(scale, median), x + 9, TimeY(scale, median),
                  "class=\"median\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2.5\"");
    }
    return s;
}

// One program's panel: each file's times in both phases, on the scale's grid, with a legend.
std::string Panel(const DeliverableRuns& deliverable, double ticksPerSecond, const TimeScale& scale,
                  double step) {
    const double top = scale.top, bottom = scale.bottom;
    std::string s = Text(12, top - 10,
                         deliverable.name + ", " + std::to_string(deliverable.runs.size()) +
                             " run" + (deliverable.runs.size() == 1 ? "" : "s"),
                         "font-weight=\"bold\"");
    for (double tick = 0; tick <= scale.ceiling + step / 2; tick += step) {
        s += Line(X0, TimeY(scale, tick), X1, TimeY(scale, tick),
                  TickAttributes(tick, "#ddd", tick == 0 ? "0" : "1"));
        s += Text(X0 - 6, TimeY(scale, tick) + 4, TickText(tick), "text-anchor=\"end\"");
    }
    s += Line(X0, bottom, X1, bottom, "stroke=\"#222\"");
    s += Line(X0, top, X0, bottom, "stroke=\"#222\"");
    s += SideTitle(top, bottom, "time per file (ms)");
    int clipped = 0;
    double largest = 0;
    for (int file = 0; file < 10; ++file) {
        const double centre = X0 + (X1 - X0) * (2 * file + 1) / 20;
        s += Text(centre, bottom + 16, FileName(file), "text-anchor=\"middle\"");
        for (const bool parallel : {true, false}) {
            std::vector<double> values;
            for (const RunOutput& run : deliverable.runs) {
                for (const FileTicks& time : parallel ? run.parallel : run.serial) {
                    if (time.file == file) {
                        values.push_back((double)time.ticks * 1000 / ticksPerSecond);
                    }
                }
            }
            s += PhaseDots(values, scale, centre + (parallel ? -13 : 13),
                           parallel ? ParallelColour : SerialColour, &clipped, &largest);
        }
    }
    if (clipped > 0) {
        s += Note(X1, bottom + 34,
                  "\xe2\x96\xb2 " + std::to_string(clipped) + " time" + (clipped == 1 ? "" : "s") +
                      " above " + TickText(scale.ceiling) + " ms, drawn at the top; the largest " +
                      Number(largest, "%.1f") + " ms",
                  "end");
    }
    return s + LegendDot(X1 + 20, top + 14, 4, ParallelColour, "parallel") +
           LegendDot(X1 + 20, top + 34, 4, SerialColour, "serial") +
           Text(X1 + 14, top + 54, "\xe2\x80\x94 median");
}

} // namespace

svg::Chart FileTimesChart(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
    std::vector<double> all;
    for (const DeliverableRuns& d : deliverables) {
        for (const RunOutput& run : d.runs) {
            for (const auto* phase : {&run.parallel, &run.serial}) {
                for (const FileTicks& time : *phase) {
                    all.push_back((double)time.ticks * 1000 / ticksPerSecond);
                }
            }
        }
    }
    // The scale ends near the 95th percentile's half again, so that one slow read cannot push
    // every other value into a corner.
    std::sort(all.begin(), all.end());
    double cap = 1;
    if (!all.empty() && Usable(all.back())) {
        const double high = all[(size_t)(0.95 * (double)(all.size() - 1))];
        cap = Usable(high) ? std::min(all.back(), 1.5 * high) : all.back();
    }
    const double step = RoundStep(cap, 5);
    const double ceiling = std::ceil(cap / step - 1e-9) * step;
    Chart chart;
    chart.width = 800;
    chart.height = (int)(HeaderHeight + (double)deliverables.size() * (PanelHeight + Gap));
    chart.body = Heading("Each file's time, per run",
                         "With two readers at once each file takes longer, but two are read at a "
                         "time: the speed-up compares the totals.");
    for (size_t d = 0; d < deliverables.size(); ++d) {
        const double top = HeaderHeight + (double)d * (PanelHeight + Gap) + 22;
        chart.body +=
            Panel(deliverables[d], ticksPerSecond, {top, top + PanelHeight - 22, ceiling}, step);
    }
    return chart;
}

std::string FileTimesSvg(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
    return Document({FileTimesChart(ticksPerSecond, deliverables)});
}

} // namespace tools
