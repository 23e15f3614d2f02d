#include "report/charts/charts.h"

#include "common/size_text.h"
#include "report/charts/chart_parts.h"
#include "report/verdict_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

namespace {

constexpr double RowHeight = 58, Top = 62;
constexpr double MinimumWidth = 5; // of an interval: the median's line is 3 wide

// The row's figures under its verdict: the median and its interval, how many dots, the note.
std::string Figures(const SpeedupRow& row) {
    const SpeedupEstimate& e = row.estimate;
    std::string figures = std::to_string(row.speedups.size()) + " " + row.dotName +
                          (row.speedups.size() == 1 ? "" : "s");
    if (HasInterval(e)) {
        figures = RatioText(e.median) + " (" + RatioText(e.low) + "\xe2\x80\x93" +
                  RatioText(e.high) + "), " + figures;
    }
    return row.note.empty() ? figures : figures + "; " + row.note;
}

// Each run's (or report's) speed-up as a dot; one off the scale as a marker at its edge.
std::string Dots(const SpeedupRow& row, const RatioPlot& plot, double centre) {
    std::string s;
    for (size_t i = 0; i < row.speedups.size(); ++i) {
        const double value = row.speedups[i];
        if (!Usable(value)) {
            continue;
        }
        const double y = centre + Jitter(i, 20);
        if (value < plot.axis.low || value > plot.axis.high) {
            const bool under = value < plot.axis.low;
            s += Marker(under ? plot.from + 4 : plot.to - 4, y, under ? -1 : 1, 0, "#777",
                        "speed-up " + Number(value, "%g") + ", off the scale");
        } else {
            s += Circle(At(plot, value), y, 3.5,
                        "class=\"run\" fill=\"#444\" fill-opacity=\"0.45\"");
        }
    }
    return s;
}

// One row: its label, verdict and figures at the left; its dots, interval and median drawn.
std::string Row(const SpeedupRow& row, const RatioPlot& plot, double centre, bool first) {
    const SpeedupEstimate& e = row.estimate;
    const RatioAxis& axis = plot.axis;
    const std::string colour = VerdictColour(e.verdict);
    std::string s;
    if (!first) {
        s += Line(12, centre - RowHeight / 2, plot.to, centre - RowHeight / 2,
                  "stroke=\"#fff\" stroke-width=\"2\"");
    }
    s += Text(12, centre - 9, row.label, "font-weight=\"bold\"");
    // A group's verdict is its reports' commonest, not one of its own.
    const std::string verdict = row.dotName == "report"
                                    ? "most reports: " + VerdictWords(e.verdict, e.margin)
                                    : VerdictPhrase(e);
    s += Text(12, centre + 7, verdict, "fill=\"" + colour + "\" font-weight=\"bold\"");
    s += Note(12, centre + 22, Figures(row));
    s += Dots(row, plot, centre);
    if (HasInterval(e)) {
        double low = At(plot, std::max(e.low, axis.low)),
               high = At(plot, std::min(e.high, axis.high));
        // One narrower than the median's line, even of no width, still shows either side of it.
        if (high - low < MinimumWidth) {
            low = (low + high - MinimumWidth) / 2;
            high = low + MinimumWidth;
        }
        s += Rect(low, centre - 4, high - low, 8,
                  "class=\"interval\" fill=\"" + colour + "\" fill-opacity=\"0.35\" stroke=\"" +
                      colour + "\"");
    }
    if (Usable(e.median) && e.median >= axis.low && e.median <= axis.high) {
        s += Line(At(plot, e.median), centre - 13, At(plot, e.median), centre + 13,
                  "class=\"median\" stroke=\"" + colour + "\" stroke-width=\"3\"");
    }
    return s;
}

} // namespace

std::vector<SpeedupRow> SpeedupRows(const std::vector<Comparison>& comparisons) {
    std::vector<SpeedupRow> rows;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            rows.push_back({comparisons.size() > 1
                                ? FormatSize(comparison.fileSize) + " \xc2\xb7 " + d.name
                                : d.name,
                            RunSpeedups(d.runs), d.speedup, "run", CacheNote(d.cacheDoubt)});
        }
    }
    return rows;
}

svg::Chart SpeedupChart(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    size_t longest = 14;
    Extent extent;
    double margin = DefaultMargin;
    std::vector<double> levels;
    bool groups = false;
    for (const SpeedupRow& row : rows) {
        longest = std::max(longest, row.label.size());
        margin = Margin(row.estimate);
        for (const double s : row.speedups) {
            Widen(&extent, s);
        }
        if (HasInterval(row.estimate)) {
            Widen(&extent, row.estimate.low);
            Widen(&extent, row.estimate.high);
        }
        levels.push_back(row.estimate.level);
        groups = groups || row.dotName == "report";
    }
    const double x0 = std::min(360.0, 20 + 7.2 * (double)longest) + 10, x1 = x0 + 560;
    const double bottom = Top + RowHeight * (double)rows.size();
    const RatioPlot plot = MakeRatioPlot(extent, margin, false, x0, x1, Top, bottom, 40);
    Chart chart;
    chart.width = (int)x1 + 30;
    chart.height = (int)bottom + (footer.empty() ? 66 : 86);
    std::string& s = chart.body;
    s += Heading("Speed-up of two readers at once over one",
                 groups ? "Each dot is one report's median speed-up; the bar spans the lowest to "
                          "the highest, the line is their median; log scale."
                        : "Each dot is one run's serial total / parallel total; the bar is the "
                          "median with its " +
                              IntervalName(levels) + "; log scale.");
    s += Tints(plot) + MarginBand(plot, margin, Top, bottom) + RatioGrid(plot);
    for (size_t r = 0; r < rows.size(); ++r) {
        s += Row(rows[r], plot, Top + RowHeight * ((double)r + 0.5), r == 0);
    }
    s += WayLabels(plot);
    s += Note((x0 + x1) / 2, bottom + 53,
              "speed-up: above 1, two readers at once were faster; grey band: the same within " +
                  Number(margin * 100, "%g") + "%",
              "middle");
    s += Footer(bottom + 76, footer);
    return chart;
}

std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    return Document({SpeedupChart(rows, footer)});
}

} // namespace tools
