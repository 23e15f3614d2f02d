#include "report/charts/svg_draw.h"

#include "common/number_text.h"
#include "common/safe_text.h"

#include <algorithm>
#include <cmath>

namespace tools::svg {

std::string Number(double value, const char* format) {
    return Format(format, value);
}

std::string Text(double x, double y, const std::string& text, const std::string& attributes) {
    return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"" +
           (attributes.empty() ? "" : " " + attributes) + ">" + EscapeMarkup(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& attributes) {
    return "<line x1=\"" + Number(x1) + "\" y1=\"" + Number(y1) + "\" x2=\"" + Number(x2) +
           "\" y2=\"" + Number(y2) + "\" " + attributes + "/>\n";
}

std::string Rect(double x, double y, double width, double height, const std::string& attributes) {
    return "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" +
           Number(std::max(0.0, width)) + "\" height=\"" + Number(std::max(0.0, height)) + "\" " +
           attributes + "/>\n";
}

std::string Circle(double x, double y, double r, const std::string& attributes) {
    return "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) + "\" r=\"" + Number(r) + "\" " +
           attributes + "/>\n";
}

std::string Marker(double x, double y, int dx, int dy, const std::string& colour,
                   const std::string& value) {
    const double size = 5;
    const double tipX = x + dx * size, tipY = y + dy * size;
    const double baseX = x - dx * size * 0.2, baseY = y - dy * size * 0.2;
    const double sideX = dy * size * 0.8, sideY = dx * size * 0.8;
    return "<path class=\"clipped\" d=\"M" + Number(tipX) + " " + Number(tipY) + " L" +
           Number(baseX + sideX) + " " + Number(baseY + sideY) + " L" + Number(baseX - sideX) +
           " " + Number(baseY - sideY) + " Z\" fill=\"" + colour +
           "\" stroke=\"#222\" stroke-width=\"0.8\"><title>" + EscapeMarkup(value) +
           "</title></path>\n";
}

std::string Document(const std::vector<Chart>& charts) {
    int width = 0, height = 0;
    for (const Chart& chart : charts) {
        width = std::max(width, chart.width);
        height += chart.height;
    }
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                      std::to_string(width) + " " + std::to_string(height) +
                      "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"12\" "
                      "fill=\"#222\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    int y = 0;
    for (const Chart& chart : charts) {
        svg += "<g transform=\"translate(0," + std::to_string(y) + ")\">\n" + chart.body + "</g>\n";
        y += chart.height;
    }
    return svg + "</svg>\n";
}

bool Usable(double value) {
    return std::isfinite(value) && value > 0;
}

constexpr double LeastRatio = 0.01, GreatestRatio = 100;

// Ticks are taken level by level, each only where it keeps gap pixels from every other.
RatioAxis ChooseRatioAxis(double low, double high, double pixels, double gap) {
    RatioAxis axis;
    axis.low = std::clamp(std::min(low, 0.8), LeastRatio, 1.0);
    axis.high = std::clamp(std::max(high, 1.25), 1.0, GreatestRatio);
    const double pad = 0.04 * std::log(axis.high / axis.low);
    axis.low = std::max(LeastRatio, axis.low * std::exp(-pad));
    axis.high = std::min(GreatestRatio, axis.high * std::exp(pad));
    static const double levels[][8] = {
        {1, 0.1, 10, 0.01, 100},
        {0.5, 2, 0.2, 5, 0.05, 20, 0.02, 50},
        {0.8, 1.25},
        {0.25, 4, 0.9, 1.1, 1.5, 3},
    };
    const double perLog = pixels / std::log(axis.high / axis.low);
    for (size_t level = 0; level < std::size(levels); ++level) {
        // The finest ticks only where they leave more room still.
        const double room = level == 3 ? 1.5 * gap : gap;
        for (const double tick : levels[level]) {
            bool apart = tick > 0 && tick >= axis.low && tick <= axis.high && axis.ticks.size() < 8;
            for (const double taken : axis.ticks) {
                apart = apart && std::fabs(std::log(tick / taken)) * perLog >= room;
            }
            if (apart) {
                axis.ticks.push_back(tick);
            }
        }
    }
    std::sort(axis.ticks.begin(), axis.ticks.end());
    return axis;
}

double RatioPosition(const RatioAxis& axis, double value, double from, double to) {
    return from + (to - from) * std::log(value / axis.low) / std::log(axis.high / axis.low);
}

std::string TickText(double value) {
    return Number(value, "%g");
}

double RoundStep(double span, int wanted) {
    const double raw = span / wanted;
    const double power = std::pow(10, std::floor(std::log10(raw)));
    for (const double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= raw) {
            return multiple * power;
        }
    }
    return 10 * power;
}

double Margin(const SpeedupEstimate& estimate) {
    return std::isfinite(estimate.margin) && estimate.margin > 0 ? estimate.margin : DefaultMargin;
}

double Jitter(size_t index, double width) {
    return width * ((double)((index * 7919) % 17) / 16.0 - 0.5);
}

const char* VerdictColour(Verdict verdict) {
    switch (verdict) {
    case Verdict::Parallel:
        return "#2166ac";
    case Verdict::Serial:
        return "#b2182b";
    case Verdict::Equivalent:
        return "#4d4d4d";
    case Verdict::Unclear:
        break;
    }
    return "#8c6d1f";
}

} // namespace tools::svg
