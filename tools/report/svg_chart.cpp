#include "report/svg_chart.h"

#include "common/output_file.h"
#include "common/size_text.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tools {

std::string WriteRunsSvg(const std::string& path, double ticksPerSecond,
                         const std::vector<DeliverableRuns>& deliverables) {
    const int chartWidth = 640, chartHeight = 240, left = 60, top = 40, gap = 70;
    double largest = 0;
    for (const DeliverableRuns& deliverable : deliverables) {
        for (const RunOutput& run : deliverable.runs) {
            for (const auto* phase : {&run.parallel, &run.serial}) {
                for (const FileTicks& time : *phase) {
                    largest = std::max(largest, (double)time.ticks * 1000 / ticksPerSecond);
                }
            }
        }
    }
    if (largest <= 0) {
        largest = 1;
    }
    std::ostringstream out;
    const int height = top + (int)deliverables.size() * (chartHeight + gap);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << left + chartWidth + 140
        << "\" height=\"" << height << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    for (size_t d = 0; d < deliverables.size(); ++d) {
        const DeliverableRuns& deliverable = deliverables[d];
        const int y0 = top + (int)d * (chartHeight + gap);
        out << "<text x=\"" << left << "\" y=\"" << y0 - 12 << "\" font-size=\"14\">"
            << deliverable.name << ": per-file ms over " << deliverable.runs.size()
            << " runs</text>\n";
        out << "<line x1=\"" << left << "\" y1=\"" << y0 + chartHeight << "\" x2=\""
            << left + chartWidth << "\" y2=\"" << y0 + chartHeight << "\" stroke=\"black\"/>\n";
        out << "<line x1=\"" << left << "\" y1=\"" << y0 << "\" x2=\"" << left << "\" y2=\""
            << y0 + chartHeight << "\" stroke=\"black\"/>\n";
        for (int tick = 0; tick <= 4; ++tick) {
            const double value = largest * tick / 4;
            const int y = y0 + chartHeight - (int)(chartHeight * tick / 4);
            out << "<text x=\"" << left - 6 << "\" y=\"" << y + 4 << "\" text-anchor=\"end\">";
            out.precision(3);
            out << value << "</text>\n";
        }
        for (int file = 0; file < 10; ++file) {
            const int x = left + chartWidth * (2 * file + 1) / 20;
            out << "<text x=\"" << x << "\" y=\"" << y0 + chartHeight + 16
                << "\" text-anchor=\"middle\">" << FileName(file) << "</text>\n";
        }
        for (const RunOutput& run : deliverable.runs) {
            const struct {
                const std::vector<FileTicks>* times;
                int shift;
                const char* colour;
            } phases[] = {{&run.parallel, -8, "#d95f02"}, {&run.serial, 8, "#1b9e77"}};
            for (const auto& phase : phases) {
                for (const FileTicks& time : *phase.times) {
                    const double ms = (double)time.ticks * 1000 / ticksPerSecond;
                    const int x = left + chartWidth * (2 * time.file + 1) / 20 + phase.shift;
                    const int y =
                        y0 + chartHeight - (int)(chartHeight * std::max(0.0, ms) / largest);
                    out << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"3\" fill=\""
                        << phase.colour << "\" fill-opacity=\"0.7\"/>\n";
                }
            }
        }
        out << "<circle cx=\"" << left + chartWidth + 20 << "\" cy=\"" << y0 + 10
            << "\" r=\"4\" fill=\"#d95f02\"/><text x=\"" << left + chartWidth + 30 << "\" y=\""
            << y0 + 14 << "\">parallel</text>\n";
        out << "<circle cx=\"" << left + chartWidth + 20 << "\" cy=\"" << y0 + 30
            << "\" r=\"4\" fill=\"#1b9e77\"/><text x=\"" << left + chartWidth + 30 << "\" y=\""
            << y0 + 34 << "\">serial</text>\n";
    }
    out << "</svg>\n";
    return WriteFileWhole(path, out.str());
}

std::string WriteSweepSvg(const std::string& path, const std::vector<Comparison>& sweep) {
    const int width = 640, height = 320, left = 60, top = 40, bottom = 50;
    const char* const colours[] = {"#d95f02", "#1b9e77", "#7570b3"};
    double smallest = 1e300, largest = 0, lowest = 1, highest = 1;
    for (const Comparison& comparison : sweep) {
        smallest = std::min(smallest, (double)std::max(1ull, comparison.fileSize));
        largest = std::max(largest, (double)std::max(1ull, comparison.fileSize));
        for (const DeliverableRuns& d : comparison.deliverables) {
            lowest = std::min(lowest, d.speedup.low);
            highest = std::max(highest, d.speedup.high);
        }
    }
    if (sweep.empty()) {
        smallest = largest = 1;
    }
    // A margin around the sizes, so a single size still sits inside the axis.
    const double logLow = std::log2(smallest) - 0.5, logHigh = std::log2(largest) + 0.5;
    lowest = std::max(0.0, lowest - 0.05);
    highest += 0.05;
    auto x = [&](unsigned long long size) {
        return left +
               width * (std::log2((double)std::max(1ull, size)) - logLow) / (logHigh - logLow);
    };
    auto y = [&](double speedup) {
        return top + height * (highest - speedup) / (highest - lowest);
    };
    std::ostringstream out;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << left + width + 160
        << "\" height=\"" << top + height + bottom
        << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        << "<text x=\"" << left << "\" y=\"24\" font-size=\"14\">speed-up (serial / parallel) "
        << "against file size, with 95% intervals</text>\n"
        << "<line x1=\"" << left << "\" y1=\"" << top + height << "\" x2=\"" << left + width
        << "\" y2=\"" << top + height << "\" stroke=\"black\"/>\n"
        << "<line x1=\"" << left << "\" y1=\"" << top << "\" x2=\"" << left << "\" y2=\""
        << top + height << "\" stroke=\"black\"/>\n"
        << "<line x1=\"" << left << "\" y1=\"" << y(1) << "\" x2=\"" << left + width << "\" y2=\""
        << y(1) << "\" stroke=\"grey\" stroke-dasharray=\"4 4\"/>\n"
        << "<text x=\"" << left - 6 << "\" y=\"" << y(1) + 4 << "\" text-anchor=\"end\">1</text>\n";
    for (int tick = 0; tick <= 4; ++tick) {
        const double value = lowest + (highest - lowest) * tick / 4;
        out.precision(3);
        out << "<text x=\"" << left - 6 << "\" y=\"" << y(value) + 4 << "\" text-anchor=\"end\">"
            << value << "</text>\n";
    }
    std::vector<std::string> names;
    for (const Comparison& comparison : sweep) {
        out << "<text x=\"" << x(comparison.fileSize) << "\" y=\"" << top + height + 18
            << "\" text-anchor=\"middle\">" << FormatSize(comparison.fileSize) << "</text>\n";
        for (const DeliverableRuns& d : comparison.deliverables) {
            auto known = std::find(names.begin(), names.end(), d.name);
            const size_t index = (size_t)(known - names.begin());
            if (known == names.end()) {
                names.push_back(d.name);
            }
            const char* colour = colours[index % 3];
            const double shift = 6.0 * (double)index - 3;
            const double cx = x(comparison.fileSize) + shift;
            out << "<line x1=\"" << cx << "\" y1=\"" << y(d.speedup.low) << "\" x2=\"" << cx
                << "\" y2=\"" << y(d.speedup.high) << "\" stroke=\"" << colour << "\"/>\n"
                << "<circle cx=\"" << cx << "\" cy=\"" << y(d.speedup.median)
                << "\" r=\"4\" fill=\"" << colour << "\"/>\n";
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        out << "<circle cx=\"" << left + width + 20 << "\" cy=\"" << top + 10 + 20 * (int)i
            << "\" r=\"4\" fill=\"" << colours[i % 3] << "\"/><text x=\"" << left + width + 30
            << "\" y=\"" << top + 14 + 20 * (int)i << "\">" << names[i] << "</text>\n";
    }
    out << "<text x=\"" << left + width / 2 << "\" y=\"" << top + height + 40
        << "\" text-anchor=\"middle\">file size (log scale)</text>\n</svg>\n";
    return WriteFileWhole(path, out.str());
}

} // namespace tools
