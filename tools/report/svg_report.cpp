#include "report/report.h"

#include "report/charts/charts.h"
#include "report/tables.h"

namespace tools {

// The speed-ups above the per-file times; with a sweep, the speed-up against size; with a merge,
// each report's speed-ups, or each group's where there are many.
std::string RenderSvg(const Report& report) {
    const std::string footer = MachineLine(report.machine);
    if (report.kind == ReportKind::Merge) {
        return SpeedupSvg(FleetChart(report, MergedTable(report, true)), "");
    }
    if (report.kind == ReportKind::Sweep) {
        return SweepSvg(report.comparisons, footer);
    }
    const std::vector<DeliverableRuns> none;
    return svg::Document(
        {SpeedupChart(SpeedupRows(report.comparisons), footer),
         FileTimesChart(report.clock.ticksPerSecond,
                        report.comparisons.empty() ? none : report.comparisons[0].deliverables)});
}

} // namespace tools
