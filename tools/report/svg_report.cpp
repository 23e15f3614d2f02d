#include "report/report.h"

#include "report/charts/charts.h"
#include "report/tables.h"

namespace tools {

// The speed-ups above the per-file times; with a sweep, the speed-up against size; with a merge,
// each report's speed-ups, or each group's where there are many.
std::string RenderSvg(const Report& report) {
    return std::visit(
        PerKind{
            [](const ComparisonReport& r) {
                const std::span<const Comparison> one(&r.comparison, 1);
                return svg::Document(
                    {SpeedupChart(SpeedupRows(one), MachineLine(r.context.machine)),
                     FileTimesChart(r.context.clock.ticksPerSecond, r.comparison.deliverables)});
            },
            [](const SweepReport& r) { return SweepSvg(r.sizes, MachineLine(r.context.machine)); },
            [](const MergeReport& r) {
                return SpeedupSvg(FleetChart(r, MergedTable(r, true)), "");
            }},
        report);
}

} // namespace tools
