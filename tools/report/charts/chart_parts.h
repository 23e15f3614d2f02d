// The parts that readrace's charts share: the heading, notes and footer, a legend's entries, and
// a plot of ratios on a log axis with its tints, the margin's band, the ticks and the line at 1.
#pragma once

#include "report/charts/svg_draw.h"

#include <string>
#include <vector>

namespace tools::svg {

// The chart's title in bold and the caption under it, at its top left.
std::string Heading(const std::string& title, const std::string& caption);
// Small grey text: figures, captions, footers; anchor "" (the start), "middle" or "end".
std::string Note(double x, double y, const std::string& text, const std::string& anchor = "");
// The footer's line at the left; "" for no footer.
std::string Footer(double y, const std::string& footer);
// An axis' title up the left edge, midway between top and bottom.
std::string SideTitle(double top, double bottom, const std::string& title);
// One entry of a legend: a dot in the colour, and the name after it on the baseline y.
std::string LegendDot(double x, double y, double radius, const std::string& colour,
                      const std::string& name);
// A tick's grid line attributes: its value for tests and scripts, and its stroke.
std::string TickAttributes(double tick, const std::string& stroke, const std::string& width);

// The least and greatest values a ratio axis must show; 1 always lies between.
struct Extent {
    double low = 1, high = 1;
};
// Takes in a value a log axis can place; others are left out.
void Widen(Extent* extent, double value);

// Ratios on a log axis, along x or up y, across the plot's other extent.
struct RatioPlot {
    RatioAxis axis;
    bool vertical = false;           // the ratios rise up the page, else they grow to the right
    double from = 0, to = 0;         // where axis.low and axis.high lie
    double across0 = 0, across1 = 0; // the edges the other way: top and bottom, or left and right
};
// A plot whose axis shows the extent and the margin's band either side of 1, with its ticks at
// least gap pixels apart.
RatioPlot MakeRatioPlot(const Extent& extent, double margin, bool vertical, double from, double to,
                        double across0, double across1, double gap);
double At(const RatioPlot& plot, double ratio);
// Where one reader and where two were faster, tinted.
std::string Tints(const RatioPlot& plot);
// The margin's grey band around 1, across the plot from across0 to across1.
std::string MarginBand(const RatioPlot& plot, double margin, double across0, double across1);
// Each row's or point's margin may be its own (merged reports ran with other --margin): the widest
// sets the axis, so that every band fits.
double WidestMargin(const std::vector<double>& margins);
// Whether every margin is the same one: then one band serves them all.
bool OneMargin(const std::vector<double>& margins);
// "grey band: the same within 3%" where every margin is one, else "grey bands: each row's
// margin" for rows (or points) that each have a band of their own.
std::string BandCaption(const std::vector<double>& margins, const std::string& each);
// Grid lines at the axis' ticks with their values, the line at 1 and the plot's axis lines.
std::string RatioGrid(const RatioPlot& plot);
// Which way was faster, on each side of the line at 1.
std::string WayLabels(const RatioPlot& plot);

} // namespace tools::svg
