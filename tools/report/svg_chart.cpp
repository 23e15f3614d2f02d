#include "report/svg_chart.h"

#include "common/output_file.h"
#include "common/size_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tools {

namespace {

const char* const ParallelColour = "#d95f02";
const char* const SerialColour = "#1b9e77";
const char* const ProgramColours[] = {"#7b3294", "#008837", "#e66101"};
const char* const FasterTint = "#eaf1fa"; // where two readers were faster
const char* const SlowerTint = "#fbeeea"; // where one reader was

std::string Number(double value, const char* format = "%.1f") {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

std::string Text(double x, double y, const std::string& text, const std::string& attributes = "") {
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

// A small triangle pointing up (or left or right along an axis): a value beyond the scale.
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

struct Chart {
    std::string body;
    int width = 0, height = 0;
};

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

// A log axis for ratios, with round ticks that read as each other's reciprocals (0.8 and 1.25,
// 0.5 and 2); coarser levels where the range is wide.
struct RatioAxis {
    double low = 0.8, high = 1.25;
    std::vector<double> ticks;
};

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

// Where value lies between from (at axis.low) and to (at axis.high).
double RatioPosition(const RatioAxis& axis, double value, double from, double to) {
    return from + (to - from) * std::log(value / axis.low) / std::log(axis.high / axis.low);
}

std::string TickText(double value) {
    return Number(value, "%g");
}

// A step of 1, 2 or 5 times a power of ten that cuts span into about wanted parts.
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

bool HasInterval(const SpeedupEstimate& e) {
    return e.runs >= 2 && Usable(e.low) && Usable(e.high) && e.low < e.high;
}

// Same for the same run: dots spread without a random generator.
double Jitter(size_t index, double width) {
    return width * ((double)((index * 7919) % 17) / 16.0 - 0.5);
}

} // namespace

std::string EscapeMarkup(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c < 0x20 || c == 0x7f ? ' ' : (char)c;
            }
            ++i;
            continue;
        }
        const size_t length = c >= 0xc2 && c < 0xe0   ? 2
                              : c >= 0xe0 && c < 0xf0 ? 3
                              : c >= 0xf0 && c < 0xf5 ? 4
                                                      : 0;
        unsigned long point = c & (0x7f >> length);
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = (unsigned char)text[i + k];
            valid = (next & 0xc0) == 0x80;
            point = (point << 6) | (next & 0x3f);
        }
        static const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && point >= least[length] && point <= 0x10ffff &&
                !(point >= 0xd800 && point <= 0xdfff) && point != 0xfffe && point != 0xffff;
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xef\xbf\xbd";
            ++i;
        }
    }
    return out;
}

std::vector<SpeedupRow> SpeedupRows(const std::vector<Comparison>& comparisons) {
    std::vector<SpeedupRow> rows;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            rows.push_back({comparisons.size() > 1
                                ? FormatSize(comparison.fileSize) + " \xc2\xb7 " + d.name
                                : d.name,
                            RunSpeedups(d.runs), d.speedup});
        }
    }
    return rows;
}

std::string MachineLine(const MachineFacts& m) {
    std::string line;
    auto add = [&line](const std::string& part) {
        if (!part.empty()) {
            line += (line.empty() ? "" : ", ") + part;
        }
    };
    add(m.host);
    add(m.cpu);
    add(m.cores > 0 ? std::to_string(m.cores) + " cores" : "");
    add(m.filesystem + (m.device.empty() ? "" : (m.filesystem.empty() ? "" : " on ") + m.device));
    add(m.kernel);
    add(m.version.empty() ? "" : "readrace " + m.version);
    return line;
}

std::string VerdictLabel(const SpeedupEstimate& e) {
    switch (e.verdict) {
    case Verdict::Parallel:
        return "two readers faster";
    case Verdict::Serial:
        return "one reader faster";
    case Verdict::Equivalent:
        return "the same within " + Number(Margin(e) * 100, "%g") + "%";
    case Verdict::Unclear:
        break;
    }
    return "no clear difference";
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

namespace {

Chart SpeedupChart(const std::vector<SpeedupRow>& rows, const std::string& footer) {
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
    s += Text(12, 41,
              "Each dot is one run's serial total / parallel total; the bar is the median with "
              "its 95% interval; log scale.",
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
        s += Text(12, centre + 7, VerdictLabel(e), "fill=\"" + colour + "\" font-weight=\"bold\"");
        std::string figures = std::to_string(row.speedups.size()) + " " + row.dotName +
                              (row.speedups.size() == 1 ? "" : "s");
        if (HasInterval(e)) {
            figures = RatioText(e.median) + " (" + RatioText(e.low) + "\xe2\x80\x93" +
                      RatioText(e.high) + "), " + figures;
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

Chart FileTimesChart(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
    const double x0 = 78, x1 = 678, panelHeight = 210, gap = 74, headerHeight = 60;
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
    chart.height = (int)(headerHeight + (double)deliverables.size() * (panelHeight + gap));
    std::string& s = chart.body;
    s += Text(12, 22, "Each file's time, per run", "font-size=\"15\" font-weight=\"bold\"");
    s += Text(12, 41,
              "With two readers at once each file takes longer, but two are read at a time: "
              "the speed-up compares the totals.",
              "fill=\"#555\"");
    for (size_t d = 0; d < deliverables.size(); ++d) {
        const DeliverableRuns& deliverable = deliverables[d];
        const double top = headerHeight + (double)d * (panelHeight + gap) + 22;
        const double bottom = top + panelHeight - 22;
        auto y = [&](double ms) { return bottom - (bottom - top) * ms / ceiling; };
        s += Text(12, top - 10,
                  deliverable.name + ", " + std::to_string(deliverable.runs.size()) + " run" +
                      (deliverable.runs.size() == 1 ? "" : "s"),
                  "font-weight=\"bold\"");
        for (double tick = 0; tick <= ceiling + step / 2; tick += step) {
            s += Line(x0, y(tick), x1, y(tick),
                      "class=\"tick\" data-value=\"" + TickText(tick) +
                          "\" stroke=\"#ddd\" stroke-width=\"" + (tick == 0 ? "0" : "1") + "\"");
            s += Text(x0 - 6, y(tick) + 4, TickText(tick), "text-anchor=\"end\"");
        }
        s += Line(x0, bottom, x1, bottom, "stroke=\"#222\"");
        s += Line(x0, top, x0, bottom, "stroke=\"#222\"");
        s += "<text transform=\"translate(22," + Number((top + bottom) / 2) +
             ") rotate(-90)\" text-anchor=\"middle\">time per file (ms)</text>\n";
        int clipped = 0;
        double largest = 0;
        for (int file = 0; file < 10; ++file) {
            const double centre = x0 + (x1 - x0) * (2 * file + 1) / 20;
            s += Text(centre, bottom + 16, FileName(file), "text-anchor=\"middle\"");
            const struct {
                bool parallel;
                double shift;
                const char* colour;
            } phases[] = {{true, -13, ParallelColour}, {false, 13, SerialColour}};
            for (const auto& phase : phases) {
                std::vector<double> values;
                for (const RunOutput& run : deliverable.runs) {
                    for (const FileTicks& time : phase.parallel ? run.parallel : run.serial) {
                        if (time.file == file) {
                            values.push_back((double)time.ticks * 1000 / ticksPerSecond);
                        }
                    }
                }
                // The dots share their colour through a group, which keeps the file small.
                s += "<g fill=\"" + std::string(phase.colour) + "\" fill-opacity=\"0.55\">\n";
                std::string markers;
                for (size_t i = 0; i < values.size(); ++i) {
                    const double px = centre + phase.shift + Jitter(i, 12);
                    if (values[i] > ceiling) {
                        ++clipped;
                        largest = std::max(largest, values[i]);
                        markers +=
                            Marker(px, top + 2, 0, -1, phase.colour, Number(values[i], "%.1f ms"));
                    } else {
                        s += Circle(px, y(std::max(0.0, values[i])), 2.8, "");
                    }
                }
                s += "</g>\n" + markers;
                const double median = MedianOf(values);
                if (!values.empty() && median <= ceiling) {
                    s += Line(centre + phase.shift - 9, y(median), centre + phase.shift + 9,
                              y(median),
                              "class=\"median\" stroke=\"" + std::string(phase.colour) +
                                  "\" stroke-width=\"2.5\"");
                }
            }
        }
        if (clipped > 0) {
            s += Text(x1, bottom + 34,
                      "\xe2\x96\xb2 " + std::to_string(clipped) + " time" +
                          (clipped == 1 ? "" : "s") + " above " + TickText(ceiling) +
                          " ms, drawn at the top; the largest " + Number(largest, "%.1f") + " ms",
                      "text-anchor=\"end\" font-size=\"11\" fill=\"#555\"");
        }
        const struct {
            const char* colour;
            const char* name;
        } legend[] = {{ParallelColour, "parallel"},
                      {SerialColour, "serial"},
                      {"#444", "\xe2\x80\x94 median"}};
        for (int i = 0; i < 3; ++i) {
            if (i < 2) {
                s += Circle(x1 + 20, top + 10 + 20 * i, 4,
                            "fill=\"" + std::string(legend[i].colour) + "\"");
            }
            s += Text(x1 + (i < 2 ? 30 : 14), top + 14 + 20 * i, legend[i].name);
        }
    }
    return chart;
}

Chart SweepChart(const std::vector<Comparison>& sweep, const std::string& footer) {
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
    s += Text(12, 41,
              "The median speed-up (serial total / parallel total) with its 95% interval; "
              "both axes log scale.",
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

} // namespace

std::string SpeedupSvg(const std::vector<SpeedupRow>& rows, const std::string& footer) {
    return Document({SpeedupChart(rows, footer)});
}

std::string FileTimesSvg(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
    return Document({FileTimesChart(ticksPerSecond, deliverables)});
}

std::string SweepSvg(const std::vector<Comparison>& sweep, const std::string& footer) {
    return Document({SweepChart(sweep, footer)});
}

std::string WriteChartSvg(const std::string& path, const std::vector<Comparison>& comparisons,
                          bool sweep, double ticksPerSecond, const MachineFacts& machine) {
    if (sweep) {
        return WriteFileWhole(path, SweepSvg(comparisons, MachineLine(machine)));
    }
    const std::vector<DeliverableRuns> none;
    return WriteFileWhole(
        path, Document({SpeedupChart(SpeedupRows(comparisons), MachineLine(machine)),
                        FileTimesChart(ticksPerSecond,
                                       comparisons.empty() ? none : comparisons[0].deliverables)}));
}

} // namespace tools
