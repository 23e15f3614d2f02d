#include "report/charts/charts.h"

#include "common/size_text.h"
#include "report/verdict_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

std::vector<SpeedupRow> SpeedupRows(std::span<const Comparison> comparisons) {
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
    for (const SpeedupRow& row : rows) {
        longest = std::max(longest, row.label.size());
    }
    const double labelWidth = std::min(360.0, 20 + 7.2 * (double)longest);
    const double x0 = labelWidth + 10, x1 = x0 + 560, rowHeight = 58, top = 62;
    double low = 1, high = 1, margin = DefaultMargin;
    for (const SpeedupRow& row : rows) {
        margin = Margin(row.estimate);
        for (const double s : row.speedups) {
            if (Usable(s)) {
                low = std::min(low, s);
                high = std::max(high, s);
            }
        }
        if (HasInterval(row.estimate)) {
            low = std::min(low, row.estimate.low);
            high = std::max(high, row.estimate.high);
        }
    }
    const RatioAxis axis =
        ChooseRatioAxis(std::min(low, 1 / (1 + margin)), std::max(high, 1 + margin), x1 - x0, 40);
    auto x = [&](double value) { return RatioPosition(axis, value, x0, x1); };
    const double bottom = top + rowHeight * (double)rows.size();
    Chart chart;
    chart.width = (int)x1 + 30;
    chart.height = (int)bottom + (footer.empty() ? 66 : 86);
    std::string& s = chart.body;
    s += Text(12, 22, "Speed-up of two readers at once over one",
              "font-size=\"15\" font-weight=\"bold\"");
    std::vector<double> levels;
    bool groups = false;
    for (const SpeedupRow& row : rows) {
        levels.push_back(row.estimate.level);
        groups = groups || row.dotName == "report";
    }
    s += Text(12, 41,
              groups ? "Each dot is one report's median speed-up; the bar spans the lowest to the "
                       "highest, the line is their median; log scale."
                     : "Each dot is one run's serial total / parallel total; the bar is the median "
                       "with its " +
                           IntervalName(levels) + "; log scale.",
              "fill=\"#555\"");
    s += Rect(x0, top, x(1) - x0, bottom - top, "fill=\"" + std::string(SlowerTint) + "\"");
    s += Rect(x(1), top, x1 - x(1), bottom - top, "fill=\"" + std::string(FasterTint) + "\"");
    s += Rect(x(1 / (1 + margin)), top, x(1 + margin) - x(1 / (1 + margin)), bottom - top,
              "class=\"band\" fill=\"#bdbdbd\" fill-opacity=\"0.55\"");
    for (const double tick : axis.ticks) {
        s += Line(x(tick), top, x(tick), bottom + 4,
                  "class=\"tick\" data-value=\"" + TickText(tick) +
                      "\" stroke=\"#999\" "
                      "stroke-width=\"0.5\"");
        s += Text(x(tick), bottom + 17, TickText(tick), "text-anchor=\"middle\"");
    }
    s +=
        Line(x(1), top - 4, x(1), bottom + 4, "class=\"one\" stroke=\"#222\" stroke-width=\"1.5\"");
    s += Line(x0, bottom, x1, bottom, "stroke=\"#222\"");
    for (size_t r = 0; r < rows.size(); ++r) {
        const SpeedupRow& row = rows[r];
        const SpeedupEstimate& e = row.estimate;
        const double centre = top + rowHeight * ((double)r + 0.5);
        const std::string colour = VerdictColour(e.verdict);
        if (r > 0) {
            s += Line(12, centre - rowHeight / 2, x1, centre - rowHeight / 2,
                      "stroke=\"#fff\" stroke-width=\"2\"");
        }
        s += Text(12, centre - 9, row.label, "font-weight=\"bold\"");
        // A group's verdict is its reports' commonest, not one of its own.
        const std::string verdict = row.dotName == "report"
                                        ? "most reports: " + VerdictWords(e.verdict, e.margin)
                                        : VerdictPhrase(e);
        s += Text(12, centre + 7, verdict, "fill=\"" + colour + "\" font-weight=\"bold\"");
        std::string figures = std::to_string(row.speedups.size()) + " " + row.dotName +
                              (row.speedups.size() == 1 ? "" : "s");
        if (HasInterval(e)) {
            figures = RatioText(e.median) + " (" + RatioText(e.low) + "\xe2\x80\x93" +
                      RatioText(e.high) + "), " + figures;
        }
        if (!row.note.empty()) {
            figures += "; " + row.note;
        }
        s += Text(12, centre + 22, figures, "font-size=\"11\" fill=\"#555\"");
        for (size_t i = 0; i < row.speedups.size(); ++i) {
            const double value = row.speedups[i];
            if (!Usable(value)) {
                continue;
            }
            const double y = centre + Jitter(i, 20);
            if (value < axis.low || value > axis.high) {
                const bool under = value < axis.low;
                s += Marker(under ? x0 + 4 : x1 - 4, y, under ? -1 : 1, 0, "#777",
                            "speed-up " + Number(value, "%g") + ", off the scale");
            } else {
                s += Circle(x(value), y, 3.5, "class=\"run\" fill=\"#444\" fill-opacity=\"0.45\"");
            }
        }
        if (HasInterval(e)) {
            s += Rect(x(std::max(e.low, axis.low)), centre - 4,
                      x(std::min(e.high, axis.high)) - x(std::max(e.low, axis.low)), 8,
                      "class=\"interval\" fill=\"" + colour + "\" fill-opacity=\"0.35\" stroke=\"" +
                          colour + "\"");
        }
        if (Usable(e.median) && e.median >= axis.low && e.median <= axis.high) {
            s += Line(x(e.median), centre - 13, x(e.median), centre + 13,
                      "class=\"median\" stroke=\"" + colour + "\" stroke-width=\"3\"");
        }
    }
    const std::string left = "\xe2\x86\x90 one reader faster";
    const std::string right = "two readers faster \xe2\x86\x92";
    s += Text(x(1) - 8, bottom + 35, left,
              "text-anchor=\"end\" font-weight=\"bold\" fill=\"" +
                  std::string(VerdictColour(Verdict::Serial)) + "\"");
    s +=
        Text(x(1) + 8, bottom + 35, right,
             "font-weight=\"bold\" fill=\"" + std::string(VerdictColour(Verdict::Parallel)) + "\"");
    s += Text((x0 + x1) / 2, bottom + 53,
              "speed-up: above 1, two readers at once were faster; grey band: the same within " +
                  Number(margin * 100, "%g") + "%",
              "text-anchor=\"middle\" font-size=\"11\" fill=\"#555\"");
    if (!footer.empty()) {
        s += Text(12, bottom + 76, footer, "font-size=\"11\" fill=\"#555\"");
    }
    return chart;
}

std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    return Document({SpeedupChart(rows, footer)});
}

} // namespace tools
