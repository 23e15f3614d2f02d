#include "report/charts/charts.h"

#include "runs/run_stats.h"

#include <algorithm>
#include <cmath>

namespace tools {

using namespace svg;

svg::Chart FileTimesChart(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
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

std::string FileTimesSvg(double ticksPerSecond, const std::vector<DeliverableRuns>& deliverables) {
    return Document({FileTimesChart(ticksPerSecond, deliverables)});
}

} // namespace tools
