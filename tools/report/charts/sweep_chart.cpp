#include "report/charts/charts.h"

#include "common/size_text.h"
#include "report/charts/chart_parts.h"
#include "report/verdict_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

namespace {

// The sweep's plot, the column where each comparison's size stands, and the plot's bottom, under
// which the sizes and run counts stand.
struct SweepLayout {
    RatioPlot plot;
    std::vector<double> columns;
    double bottom = 0;
    bool ownBands = false; // each point has a margin band of its own, the margins differing
};

// One program's median speed-ups and intervals over the sizes, joined by a line, with its run
// counts under the plot; the n-th of count programs, shifted sideways from the others.
std::string Series(const std::vector<Comparison>& sweep, const SweepLayout& layout,
                   const std::string& name, size_t n, size_t count) {
    const RatioAxis& axis = layout.plot.axis;
    const std::string colour = ProgramColours[n % 3];
    const double shift = 7.0 * ((double)n - (double)(count - 1) / 2);
    const double countsY = layout.bottom + 32 + 15 * (double)n;
    std::string s, path;
    for (size_t c = 0; c < sweep.size(); ++c) {
        for (const DeliverableRuns& d : sweep[c].deliverables) {
            if (d.name != name) {
                continue;
            }
            const SpeedupEstimate& e = d.speedup;
            const double cx = layout.columns[c] + shift;
            s += Text(layout.columns[c], countsY, std::to_string(d.runs.size()) + " runs",
                      "text-anchor=\"middle\" font-size=\"11\" fill=\"" + colour + "\"");
            if (layout.ownBands) {
                s += MarginBand(layout.plot, Margin(e), cx - 6, cx + 6);
            }
            if (HasInterval(e)) {
                const double y1 = At(layout.plot, std::max(e.low, axis.low)),
                             y2 = At(layout.plot, std::min(e.high, axis.high));
                s += Line(cx, y1, cx, y2,
                          "class=\"interval\" stroke=\"" + colour + "\" stroke-width=\"2\"");
                // Caps that the median's dot would hide, as on an interval of no height, reach
                // out past it.
                const double cap = std::fabs(y1 - y2) < 9 ? 7 : 4;
                s += Line(cx - cap, y1, cx + cap, y1, "stroke=\"" + colour + "\"");
                s += Line(cx - cap, y2, cx + cap, y2, "stroke=\"" + colour + "\"");
            }
            if (Usable(e.median)) {
                const double my = At(layout.plot, std::clamp(e.median, axis.low, axis.high));
                path += (path.empty() ? "M" : " L") + Number(cx) + " " + Number(my);
                s += Circle(cx, my, 4.5,
                            "class=\"median\" fill=\"" + colour +
                                "\" stroke=\"white\" stroke-width=\"1\"");
            }
        }
    }
    if (!path.empty()) {
        s += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + colour +
             "\" stroke-opacity=\"0.6\" stroke-width=\"1.5\"/>\n";
    }
    // The run counts' row names its program, as a legend.
    return s + LegendDot(layout.plot.across1 + 16, countsY, 4.5, colour, name + ": runs");
}

} // namespace

svg::Chart SweepChart(const std::vector<Comparison>& sweep, const std::string& footer) {
    const double x0 = 78, x1 = 640, top = 62, bottom = 362;
    double smallest = 1e300, largest = 1;
    Extent extent;
    std::vector<std::string> names;
    std::vector<double> margins, levels;
    for (const Comparison& comparison : sweep) {
        smallest = std::min(smallest, (double)std::max(1ull, comparison.fileSize));
        largest = std::max(largest, (double)std::max(1ull, comparison.fileSize));
        for (const DeliverableRuns& d : comparison.deliverables) {
            margins.push_back(Margin(d.speedup));
            levels.push_back(d.speedup.level);
            if (std::find(names.begin(), names.end(), d.name) == names.end()) {
                names.push_back(d.name);
            }
            const bool interval = HasInterval(d.speedup);
            Widen(&extent, interval ? d.speedup.low : d.speedup.median);
            Widen(&extent, interval ? d.speedup.high : d.speedup.median);
        }
    }
    const double margin = WidestMargin(margins);
    SweepLayout layout{MakeRatioPlot(extent, margin, true, bottom, top, x0, x1, 22),
                       {},
                       bottom,
                       !OneMargin(margins)};
    // Half a doubling beyond the sizes, so a single size still sits inside the axis.
    const double logLow = std::log2(std::min(smallest, largest)) - 0.5;
    const double logHigh = std::log2(largest) + 0.5;
    for (const Comparison& comparison : sweep) {
        const double size = (double)std::max(1ull, comparison.fileSize);
        layout.columns.push_back(x0 + (x1 - x0) * (std::log2(size) - logLow) / (logHigh - logLow));
    }
    Chart chart;
    chart.width = 820;
    chart.height = (int)bottom + 50 + 15 * (int)names.size() + (footer.empty() ? 0 : 20);
    std::string& s = chart.body;
    s += Heading("Speed-up of two readers at once, against file size",
                 "The median speed-up (serial total / parallel total) with its " +
                     IntervalName(levels, "interval") + "; both axes log scale.");
    s += Tints(layout.plot) + (layout.ownBands ? "" : MarginBand(layout.plot, margin, x0, x1));
    s += RatioGrid(layout.plot) + WayLabels(layout.plot);
    s += Text(x1 + 10, At(layout.plot, 1) + 36, BandCaption(margins, "point"),
              "font-size=\"10\" fill=\"#555\"");
    s += SideTitle(top, bottom, "speed-up (log scale)");
    for (size_t n = 0; n < names.size(); ++n) {
        s += Series(sweep, layout, names[n], n, names.size());
    }
    for (size_t c = 0; c < sweep.size(); ++c) {
        s += Text(layout.columns[c], bottom + 17, FormatSize(sweep[c].fileSize),
                  "text-anchor=\"middle\"");
    }
    s += Text(x1 + 26, bottom + 17, "file size", "fill=\"#555\"");
    s += Footer(chart.height - 10, footer);
    return chart;
}

std::string SweepSvg(const std::vector<Comparison>& sweep, const std::string& footer) {
    return Document({SweepChart(sweep, footer)});
}

} // namespace tools
