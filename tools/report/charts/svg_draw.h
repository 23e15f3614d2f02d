// The drawing primitives that readrace's charts share: SVG elements with their numbers written
// one way, the document that stacks charts, and the log axis for ratios.
#pragma once

#include "runs/speedup_stats.h"

#include <string>
#include <vector>

namespace tools::svg {

inline constexpr const char* ParallelColour = "#d95f02";
inline constexpr const char* SerialColour = "#1b9e77";
inline constexpr const char* ProgramColours[] = {"#7b3294", "#008837", "#e66101"};
inline constexpr const char* FasterTint = "#eaf1fa"; // where two readers were faster
inline constexpr const char* SlowerTint = "#fbeeea"; // where one reader was

// A coordinate or figure as an attribute's text: one decimal unless told.
std::string Number(double value, const char* format = "%.1f");

// Elements; text is escaped here, attributes are the caller's and never outside text.
std::string Text(double x, double y, const std::string& text, const std::string& attributes = "");
std::string Line(double x1, double y1, double x2, double y2, const std::string& attributes);
std::string Rect(double x, double y, double width, double height, const std::string& attributes);
std::string Circle(double x, double y, double r, const std::string& attributes);
// A small triangle pointing up (or left or right along an axis): a value beyond the scale.
std::string Marker(double x, double y, int dx, int dy, const std::string& colour,
                   const std::string& value);

// One chart's elements and size, for Document to stack.
struct Chart {
    std::string body;
    int width = 0, height = 0;
};

// The charts one above the other as one <svg> element.
std::string Document(const std::vector<Chart>& charts);

// Finite and above 0: a value a log axis can place.
bool Usable(double value);

// A log axis for ratios, with round ticks that read as each other's reciprocals (0.8 and 1.25,
// 0.5 and 2); coarser levels where the range is wide.
struct RatioAxis {
    double low = 0.8, high = 1.25;
    std::vector<double> ticks;
};
RatioAxis ChooseRatioAxis(double low, double high, double pixels, double gap);
// Where value lies between from (at axis.low) and to (at axis.high).
double RatioPosition(const RatioAxis& axis, double value, double from, double to);
std::string TickText(double value);
// A step of 1, 2 or 5 times a power of ten that cuts span into about wanted parts.
double RoundStep(double span, int wanted);

// The estimate's margin, or the default where it has none.
double Margin(const SpeedupEstimate& estimate);
// Same for the same run: dots spread without a random generator.
double Jitter(size_t index, double width);

const char* VerdictColour(Verdict verdict);

} // namespace tools::svg
