#include "report/charts/charts.h"

#include "common/size_text.h"
#include "report/verdict_text.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

svg::Chart SweepChart(const std::vector<Comparison>& sweep, const std::string& footer) {
    const double x0 = 78, x1 = 640, top = 62, bottom = 362;
    double smallest = 1e300, largest = 1, low = 1, high = 1, margin = DefaultMargin;
    std::vector<std::string> names;
    for (const Comparison& comparison : sweep) {
        smallest = std::min(smallest, (double)std::max(1ull, comparison.fileSize));
        largest = std::max(largest, (double)std::max(1ull, comparison.fileSize));
        for (const DeliverableRuns& d : comparison.deliverables) {
            margin = Margin(d.speedup);
            if (std::find(names.begin(), names.end(), d.name) == names.end()) {
                names.push_back(d.name);
            }
            if (HasInterval(d.speedup)) {
                low = std::min(low, d.speedup.low);
                high = std::max(high, d.speedup.high);
            } else if (Usable(d.speedup.median)) {
                low = std::min(low, d.speedup.median);
                high = std::max(high, d.speedup.median);
            }
        }
    }
    smallest = std::min(smallest, largest);
    const RatioAxis axis = ChooseRatioAxis(std::min(low, 1 / (1 + margin)),
                                           std::max(high, 1 + margin), bottom - top, 22);
    auto y = [&](double value) { return RatioPosition(axis, value, bottom, top); };
    // Half a doubling beyond the sizes, so a single size still sits inside the axis.
    const double logLow = std::log2(smallest) - 0.5, logHigh = std::log2(largest) + 0.5;
    auto x = [&](unsigned long long size) {
        return x0 +
               (x1 - x0) * (std::log2((double)std::max(1ull, size)) - logLow) / (logHigh - logLow);
    };
    Chart chart;
    chart.width = 820;
    chart.height = (int)bottom + 50 + 15 * (int)names.size() + (footer.empty() ? 0 : 20);
    std::string& s = chart.body;
    s += Text(12, 22, "Speed-up of two readers at once, against file size",
              "font-size=\"15\" font-weight=\"bold\"");
    std::vector<double> levels;
    for (const Comparison& comparison : sweep) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            levels.push_back(d.speedup.level);
        }
    }
    s += Text(12, 41,
              "The median speed-up (serial total / parallel total) with its " +
                  IntervalName(levels) + "; both axes log scale.",
              "fill=\"#555\"");
    s += Rect(x0, top, x1 - x0, y(1) - top, "fill=\"" + std::string(FasterTint) + "\"");
    s += Rect(x0, y(1), x1 - x0, bottom - y(1), "fill=\"" + std::string(SlowerTint) + "\"");
    s += Rect(x0, y(1 + margin), x1 - x0, y(1 / (1 + margin)) - y(1 + margin),
              "class=\"band\" fill=\"#bdbdbd\" fill-opacity=\"0.55\"");
    for (const double tick : axis.ticks) {
        s += Line(x0 - 4, y(tick), x1, y(tick),
                  "class=\"tick\" data-value=\"" + TickText(tick) +
                      "\" stroke=\"#999\" stroke-width=\"0.5\"");
        s += Text(x0 - 8, y(tick) + 4, TickText(tick), "text-anchor=\"end\"");
    }
    s += Line(x0, y(1), x1, y(1), "class=\"one\" stroke=\"#222\" stroke-width=\"1.5\"");
    s += Line(x0, top, x0, bottom, "stroke=\"#222\"");
    s += Line(x0, bottom, x1, bottom, "stroke=\"#222\"");
    s +=
        Text(x1 + 10, y(1) - 8, "\xe2\x86\x91 two readers faster",
             "font-weight=\"bold\" fill=\"" + std::string(VerdictColour(Verdict::Parallel)) + "\"");
    s += Text(x1 + 10, y(1) + 18, "\xe2\x86\x93 one reader faster",
              "font-weight=\"bold\" fill=\"" + std::string(VerdictColour(Verdict::Serial)) + "\"");
    s += Text(x1 + 10, y(1) + 36, "grey band: the same within " + Number(margin * 100, "%g") + "%",
              "font-size=\"10\" fill=\"#555\"");
    s += "<text transform=\"translate(22," + Number((top + bottom) / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">speed-up (log scale)</text>\n";
    for (size_t n = 0; n < names.size(); ++n) {
        const std::string colour = ProgramColours[n % 3];
        const double shift = 7.0 * ((double)n - (double)(names.size() - 1) / 2);
        std::string path;
        for (const Comparison& comparison : sweep) {
            for (const DeliverableRuns& d : comparison.deliverables) {
                if (d.name != names[n]) {
                    continue;
                }
                const SpeedupEstimate& e = d.speedup;
                const double cx = x(comparison.fileSize) + shift;
                s += Text(x(comparison.fileSize), bottom + 32 + 15 * (double)n,
                          std::to_string(d.runs.size()) + " runs",
                          "text-anchor=\"middle\" font-size=\"11\" fill=\"" + colour + "\"");
                if (HasInterval(e)) {
                    const double y1 = y(std::max(e.low, axis.low)),
                                 y2 = y(std::min(e.high, axis.high));
                    s += Line(cx, y1, cx, y2,
                              "class=\"interval\" stroke=\"" + colour + "\" stroke-width=\"2\"");
                    s += Line(cx - 4, y1, cx + 4, y1, "stroke=\"" + colour + "\"");
                    s += Line(cx - 4, y2, cx + 4, y2, "stroke=\"" + colour + "\"");
                }
                if (Usable(e.median)) {
                    const double my = y(std::clamp(e.median, axis.low, axis.high));
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
        s += Circle(x1 + 16, bottom + 28 + 15 * (double)n, 4.5, "fill=\"" + colour + "\"");
        s += Text(x1 + 26, bottom + 32 + 15 * (double)n, names[n] + ": runs");
    }
    for (const Comparison& comparison : sweep) {
        s += Text(x(comparison.fileSize), bottom + 17, FormatSize(comparison.fileSize),
                  "text-anchor=\"middle\"");
    }
    s += Text(x1 + 26, bottom + 17, "file size", "fill=\"#555\"");
    if (!footer.empty()) {
        s += Text(12, chart.height - 10, footer, "font-size=\"11\" fill=\"#555\"");
    }
    return chart;
}

std::string SweepSvg(const std::vector<Comparison>& sweep, const std::string& footer) {
    return Document({SweepChart(sweep, footer)});
}

} // namespace tools
