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
constexpr double MinimumWidth = 5; // of a bar: the median's line is 3 wide

// An interval where HasInterval says there is one; a range wherever both its ends can be placed.
bool HasBar(const SpeedupRow& row) {
    const SpeedupEstimate& e = row.estimate;
    return row.bar == SpeedupBar::Range ? Usable(e.low) && Usable(e.high) : HasInterval(e);
}

// The row's figures under its verdict: the median and its interval or range, how many dots, and
// the note.
std::string Figures(const SpeedupRow& row) {
    const SpeedupEstimate& e = row.estimate;
    const bool range = row.bar == SpeedupBar::Range;
    auto count = [](size_t n, const char* noun) {
        return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
    };
    // A report of several sizes or programs gives a group several dots: say so, so that the
    // count agrees with the table's.
    std::string figures =
        !range ? count(row.speedups.size(), "run")
        : row.reports == row.speedups.size()
            ? count(row.reports, "report")
            : count(row.speedups.size(), "median") + " from " + count(row.reports, "report");
    if (HasBar(row)) {
        // The digits the text report gives the same interval or range.
        figures =
            RatioText(e.median) +
            (range ? " (range " + RangeText(e.low, e.high) : " (" + IntervalText(e.low, e.high)) +
            "), " + figures;
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

// The row's bar: an interval as a box, a range as a dashed line between two ends. Either is drawn
// at least MinimumWidth wide, so that one narrower than the median's line, even one of no width,
// still shows either side of it.
std::string Bar(const SpeedupRow& row, const RatioPlot& plot, double centre,
                const std::string& colour) {
    const SpeedupEstimate& e = row.estimate;
    if (!HasBar(row)) {
        return "";
    }
    double low = At(plot, std::max(e.low, plot.axis.low));
    double high = At(plot, std::min(e.high, plot.axis.high));
    if (high - low < MinimumWidth) {
        low = (low + high - MinimumWidth) / 2;
        high = low + MinimumWidth;
    }
    if (row.bar == SpeedupBar::Interval) {
        return Rect(low, centre - 4, high - low, 8,
                    "class=\"interval\" fill=\"" + colour + "\" fill-opacity=\"0.35\" stroke=\"" +
                        colour + "\"");
    }
    const std::string stroke = "stroke=\"" + colour + "\" stroke-width=\"1.5\"";
    return Line(low, centre, high, centre,
                "class=\"range\" " + stroke + " stroke-dasharray=\"4 3\"") +
           Line(low, centre - 6, low, centre + 6, stroke) +
           Line(high, centre - 6, high, centre + 6, stroke);
}

// One row: its label, verdict and figures at the left; its dots, bar and median drawn.
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
    const std::string verdict = row.bar == SpeedupBar::Range
                                    ? "most reports: " + VerdictWords(e.verdict, e.margin)
                                    : VerdictPhrase(e);
    s += Text(12, centre + 7, verdict, "fill=\"" + colour + "\" font-weight=\"bold\"");
    s += Note(12, centre + 22, Figures(row));
    s += Dots(row, plot, centre);
    s += Bar(row, plot, centre, colour);
    if (Usable(e.median) && e.median >= axis.low && e.median <= axis.high) {
        s += Line(At(plot, e.median), centre - 13, At(plot, e.median), centre + 13,
                  "class=\"median\" stroke=\"" + colour + "\" stroke-width=\"3\"");
    }
    return s;
}

} // namespace

std::vector<SpeedupRow> SpeedupRows(std::span<const Comparison> comparisons) {
    std::vector<SpeedupRow> rows;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            rows.push_back(
                {comparisons.size() > 1 ? FormatSize(comparison.fileSize) + " \xc2\xb7 " + d.name
                                        : d.name,
                 RunSpeedups(d.runs), d.speedup, SpeedupBar::Interval, CacheNote(d.cacheDoubt)});
        }
    }
    return rows;
}

svg::Chart SpeedupChart(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    size_t longest = 14;
    Extent extent;
    std::vector<double> margins, levels;
    bool groups = false;
    for (const SpeedupRow& row : rows) {
        longest = std::max(longest, row.label.size());
        margins.push_back(Margin(row.estimate));
        for (const double s : row.speedups) {
            Widen(&extent, s);
        }
        if (HasBar(row)) {
            Widen(&extent, row.estimate.low);
            Widen(&extent, row.estimate.high);
        }
        levels.push_back(row.estimate.level);
        groups = groups || row.bar == SpeedupBar::Range;
    }
    const double x0 = std::min(360.0, 20 + 7.2 * (double)longest) + 10, x1 = x0 + 560;
    const double bottom = Top + RowHeight * (double)rows.size();
    const RatioPlot plot =
        MakeRatioPlot(extent, WidestMargin(margins), false, x0, x1, Top, bottom, 40);
    Chart chart;
    chart.width = (int)x1 + 30;
    chart.height = (int)bottom + (footer.empty() ? 66 : 86);
    std::string& s = chart.body;
    s += Heading("Speed-up of two readers at once over one",
                 groups ? "Each dot is one report's median speed-up; the dashed line is their "
                          "range, the upright bar their median; log scale."
                        : "Each dot is one run's serial total / parallel total; the bar is the "
                          "median with its " +
                              IntervalName(levels, "interval") + "; log scale.");
    s += Tints(plot);
    // A band across each run of rows that share a margin: one band where all do.
    for (size_t r = 0, first = 0; r < rows.size(); ++r) {
        if (r + 1 == rows.size() || margins[r + 1] != margins[r]) {
            s += MarginBand(plot, margins[r], Top + RowHeight * (double)first,
                            Top + RowHeight * (double)(r + 1));
            first = r + 1;
        }
    }
    s += RatioGrid(plot);
    for (size_t r = 0; r < rows.size(); ++r) {
        s += Row(rows[r], plot, Top + RowHeight * ((double)r + 0.5), r == 0);
    }
    s += WayLabels(plot);
    s += Note((x0 + x1) / 2, bottom + 53,
              "speed-up: above 1, two readers at once were faster; " + BandCaption(margins, "row"),
              "middle");
    s += Footer(bottom + 76, footer);
    return chart;
}

std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    return Document({SpeedupChart(rows, footer)});
}

} // namespace tools
