#include "report/report.h"

#include "common/file_set.h"
#include "common/number_text.h"
#include "common/safe_text.h"

#include <iterator>

namespace tools {

namespace {

// What the rows have in common: whose runs, where and when.
struct CsvSource {
    std::string label, host, startedAt;
    double ticksPerSecond = 0;
};

// One run of one program at one size, a row of the file.
struct CsvRun {
    std::string program;
    unsigned long long fileSize = 0;
    size_t run = 0; // from 1
    CheckedRun figures;
};

// The columns, one row per run. Ticks are the programs' own; milliseconds are worked out from the
// calibrated clock; the speed-up is serial over parallel. A cell is empty where nothing was
// measured: storage traffic and the page cache's share are measured on Linux alone.
const char* const Header = "label,host,started_at,program,file_size,run,parallel_ticks,"
                           "serial_ticks,parallel_ms,serial_ms,speedup,outcome,"
                           "storage_bytes_read,cached_after";

std::string Milliseconds(long long ticks, double ticksPerSecond) {
    return ticksPerSecond > 0 ? Format("%.4f", (double)ticks * 1000 / ticksPerSecond) : "";
}

// RFC 4180 ends every line with CR LF, and so spreadsheets that follow it to the letter read it.
std::string Row(const CsvSource& source, const CsvRun& row) {
    const CheckedRun& f = row.figures;
    const std::string cells[] = {
        CsvField(source.label),
        CsvField(source.host),
        CsvField(source.startedAt),
        CsvField(row.program),
        std::to_string(row.fileSize),
        std::to_string(row.run),
        std::to_string(f.parallelTotal),
        std::to_string(f.serialTotal),
        Milliseconds(f.parallelTotal, source.ticksPerSecond),
        Milliseconds(f.serialTotal, source.ticksPerSecond),
        Format("%.6f", (double)f.serialTotal / (double)f.parallelTotal),
        CsvField(OutcomeLine(f.parallelWorse, f.hasPercentage, f.percentage)),
        f.bytesRead >= 0 ? Format("%.0f", f.bytesRead) : "",
        f.cachedAfter >= 0 ? Format("%.6f", f.cachedAfter) : ""};
    std::string line = cells[0];
    for (size_t i = 1; i < std::size(cells); ++i) {
        line += "," + cells[i];
    }
    return line + "\r\n";
}

// A comparison's runs as the merge keeps a report's: the figures each row takes.
std::string ComparisonRows(const CsvSource& source, const Comparison& comparison) {
    std::string rows;
    for (const DeliverableRuns& d : comparison.deliverables) {
        for (size_t i = 0; i < d.runs.size(); ++i) {
            const RunOutput& run = d.runs[i];
            const RunTraffic traffic = i < d.traffic.size() ? d.traffic[i] : RunTraffic();
            // The mean size, as a merge of this comparison's report gives it, files of unequal
            // sizes included.
            CsvRun row = {d.name, comparison.bytesPerPhase / FileCount, i + 1, {}};
            row.figures = {run.parallelTotal, run.serialTotal, run.percentage, run.parallelWorse,
                           run.hasPercentage};
            row.figures.bytesRead = traffic.measured ? (double)traffic.counters.bytesRead : -1;
            row.figures.cachedAfter =
                traffic.after.known && traffic.after.pages > 0
                    ? (double)traffic.after.cached / (double)traffic.after.pages
                    : -1;
            rows += Row(source, row);
        }
    }
    return rows;
}

CsvSource SourceOf(const RunContext& context) {
    return {context.label.empty() ? context.machine.host : context.label, context.machine.host,
            context.origin.startedAt, context.clock.ticksPerSecond};
}

std::string MergeRows(const MergeReport& merge) {
    std::string rows;
    for (const CheckedReport& report : merge.reports) {
        const CsvSource source = {report.label, report.machine.host, report.startedAt,
                                  report.ticksPerSecond};
        for (const CheckedProgram& program : report.programs) {
            for (size_t i = 0; i < program.runs.size(); ++i) {
                rows += Row(source, {program.name, program.fileSize, i + 1, program.runs[i]});
            }
        }
    }
    return rows;
}

} // namespace

std::string RenderCsv(const Report& report) {
    return Header + std::string("\r\n") +
           std::visit(PerKind{[](const ComparisonReport& r) {
                                  return ComparisonRows(SourceOf(r.context), r.comparison);
                              },
                              [](const SweepReport& r) {
                                  std::string rows;
                                  for (const Comparison& comparison : r.sizes) {
                                      rows += ComparisonRows(SourceOf(r.context), comparison);
                                  }
                                  return rows;
                              },
                              [](const MergeReport& r) { return MergeRows(r); }},
                      report);
}

} // namespace tools
