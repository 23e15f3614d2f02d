#include "report/charts/chart_parts.h"

#include "common/safe_text.h"

#include <algorithm>
#include <cmath>

namespace tools::svg {

namespace {

// A box along the axis from a to b, across the plot from across0 to across1.
std::string Span(const RatioPlot& plot, double a, double b, double across0, double across1,
                 const std::string& attributes) {
    return plot.vertical ? Rect(across0, a, across1 - across0, b - a, attributes)
                         : Rect(a, across0, b - a, across1 - across0, attributes);
}

// A line across the axis at position at, from across0 to across1.
std::string Across(const RatioPlot& plot, double at, double across0, double across1,
                   const std::string& attributes) {
    return plot.vertical ? Line(across0, at, across1, at, attributes)
                         : Line(at, across0, at, across1, attributes);
}

std::string VerdictLabel(double x, double y, const std::string& text, Verdict verdict,
                         const std::string& anchor = "") {
    return Text(x, y, text,
                (anchor.empty() ? "" : "text-anchor=\"" + anchor + "\" ") +
                    "font-weight=\"bold\" fill=\"" + VerdictColour(verdict) + "\"");
}

} // namespace

std::string Heading(const std::string& title, const std::string& caption) {
    return Text(12, 22, title, "font-size=\"15\" font-weight=\"bold\"") +
           Text(12, 41, caption, "fill=\"#555\"");
}

std::string Note(double x, double y, const std::string& text, const std::string& anchor) {
    return Text(x, y, text,
                (anchor.empty() ? "" : "text-anchor=\"" + anchor + "\" ") +
                    "font-size=\"11\" fill=\"#555\"");
}

std::string Footer(double y, const std::string& footer) {
    return footer.empty() ? "" : Note(12, y, footer);
}

std::string SideTitle(double top, double bottom, const std::string& title) {
    return "<text transform=\"translate(22," + Number((top + bottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + EscapeMarkup(title) + "</text>\n";
}

std::string LegendDot(double x, double y, double radius, const std::string& colour,
                      const std::string& name) {
    return Circle(x, y - 4, radius, "fill=\"" + colour + "\"") + Text(x + 10, y, name);
}

std::string TickAttributes(double tick, const std::string& stroke, const std::string& width) {
    return "class=\"tick\" data-value=\"" + TickText(tick) + "\" stroke=\"" + stroke +
           "\" stroke-width=\"" + width + "\"";
}

void Widen(Extent* extent, double value) {
    if (Usable(value)) {
        extent->low = std::min(extent->low, value);
        extent->high = std::max(extent->high, value);
    }
}

RatioPlot MakeRatioPlot(const Extent& extent, double margin, bool vertical, double from, double to,
                        double across0, double across1, double gap) {
    RatioPlot plot;
    plot.axis = ChooseRatioAxis(std::min(extent.low, 1 / (1 + margin)),
                                std::max(extent.high, 1 + margin), std::fabs(to - from), gap);
    plot.vertical = vertical;
    plot.from = from;
    plot.to = to;
    plot.across0 = across0;
    plot.across1 = across1;
    return plot;
}

double At(const RatioPlot& plot, double ratio) {
    return RatioPosition(plot.axis, ratio, plot.from, plot.to);
}

// In the order they lie on the page: one reader's side first across, two readers' first down.
std::string Tints(const RatioPlot& plot) {
    const double one = At(plot, 1);
    const std::string first = plot.vertical ? FasterTint : SlowerTint;
    const std::string second = plot.vertical ? SlowerTint : FasterTint;
    return Span(plot, std::min(plot.from, plot.to), one, plot.across0, plot.across1,
                "fill=\"" + first + "\"") +
           Span(plot, one, std::max(plot.from, plot.to), plot.across0, plot.across1,
                "fill=\"" + second + "\"");
}

std::string MarginBand(const RatioPlot& plot, double margin, double across0, double across1) {
    const double a = At(plot, 1 / (1 + margin)), b = At(plot, 1 + margin);
    return Span(plot, std::min(a, b), std::max(a, b), across0, across1,
                "class=\"band\" fill=\"#bdbdbd\" fill-opacity=\"0.55\"");
}

double WidestMargin(const std::vector<double>& margins) {
    return margins.empty() ? DefaultMargin : *std::max_element(margins.begin(), margins.end());
}

bool OneMargin(const std::vector<double>& margins) {
    return std::all_of(margins.begin(), margins.end(),
                       [&margins](double margin) { return margin == margins.front(); });
}

std::string BandCaption(const std::vector<double>& margins, const std::string& each) {
    return OneMargin(margins)
               ? "grey band: the same within " + Number(WidestMargin(margins) * 100, "%g") + "%"
               : "grey bands: each " + each + "'s margin";
}

// The values stand left of a plot that rises and below one across the page, and the ticks reach
// out to them; across the page the line at 1 stands out past the rows too.
std::string RatioGrid(const RatioPlot& plot) {
    const double out = plot.vertical ? 0 : 4;
    std::string s;
    for (const double tick : plot.axis.ticks) {
        const double at = At(plot, tick);
        s += Across(plot, at, plot.across0 - (plot.vertical ? 4 : 0), plot.across1 + out,
                    TickAttributes(tick, "#999", "0.5"));
        s += plot.vertical ? Text(plot.across0 - 8, at + 4, TickText(tick), "text-anchor=\"end\"")
                           : Text(at, plot.across1 + 17, TickText(tick), "text-anchor=\"middle\"");
    }
    s += Across(plot, At(plot, 1), plot.across0 - out, plot.across1 + out,
                "class=\"one\" stroke=\"#222\" stroke-width=\"1.5\"");
    const double low = std::min(plot.from, plot.to), high = std::max(plot.from, plot.to);
    if (plot.vertical) {
        s += Line(plot.across0, low, plot.across0, high, "stroke=\"#222\"");
        return s + Line(plot.across0, high, plot.across1, high, "stroke=\"#222\"");
    }
    return s + Line(low, plot.across1, high, plot.across1, "stroke=\"#222\"");
}

std::string WayLabels(const RatioPlot& plot) {
    const double one = At(plot, 1);
    if (plot.vertical) {
        return VerdictLabel(plot.across1 + 10, one - 8, "\xe2\x86\x91 two readers faster",
                            Verdict::Parallel) +
               VerdictLabel(plot.across1 + 10, one + 18, "\xe2\x86\x93 one reader faster",
                            Verdict::Serial);
    }
    return VerdictLabel(one - 8, plot.across1 + 35, "\xe2\x86\x90 one reader faster",
                        Verdict::Serial, "end") +
           VerdictLabel(one + 8, plot.across1 + 35, "two readers faster \xe2\x86\x92",
                        Verdict::Parallel);
}

} // namespace tools::svg
