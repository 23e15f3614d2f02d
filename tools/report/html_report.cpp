#include "report/report.h"

#include "common/number_text.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "report/charts/charts.h"
#include "report/tables.h"
#include "report/run_text.h"
#include "report/verdict_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <algorithm>
#include <limits>
#include <map>

namespace tools {

namespace {

// Everything the page needs; no font, script or image comes from elsewhere.
const char* const Style = R"(
body{font:15px/1.45 system-ui,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:#222;
background:#fff;max-width:1000px;margin:0 auto;padding:20px 24px 40px}
h1{font-size:1.55em;margin:0 0 4px}
h2{font-size:1.15em;margin:30px 0 10px;padding-bottom:3px;border-bottom:1px solid #ddd}
.meta{color:#555;margin:0}
.cards{display:flex;flex-wrap:wrap;gap:12px}
.card{flex:1 1 280px;border:1px solid #ddd;border-left:6px solid var(--c);border-radius:6px;
padding:10px 14px}
.card .name{font-weight:600}
.card .verdict{font-size:1.3em;font-weight:700;color:var(--c)}
.card p{margin:4px 0}
.note{color:#555;font-size:.9em}
figure{margin:10px 0}
svg{max-width:100%;height:auto;display:block}
table{border-collapse:collapse;font-size:.88em;margin:6px 0 14px}
th,td{border:1px solid #ddd;padding:3px 8px;text-align:right;vertical-align:top}
th{background:#f3f3f3}
th.t,td.t{text-align:left}
td{white-space:nowrap}
td.t{white-space:normal}
details{margin:6px 0}
summary{cursor:pointer;font-weight:600}
dl{display:grid;grid-template-columns:max-content 1fr;gap:3px 18px;margin:6px 0}
dt{color:#555}
dd{margin:0}
code{font:13px ui-monospace,Menlo,Consolas,"DejaVu Sans Mono",monospace;background:#f3f3f3;
padding:2px 5px;border-radius:3px;word-break:break-all}
footer{margin-top:36px;color:#777;font-size:.85em}
)";

std::string Head(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // An empty icon, so that no browser asks for /favicon.ico.
           "<link rel=\"icon\" href=\"data:,\">\n<title>" +
           EscapeMarkup(title) + "</title>\n<style>" + Style + "</style>\n</head>\n<body>\n";
}

std::string Foot(const std::string& version) {
    // Appends, not one sum: GCC 12 warns falsely of overlap (-Wrestrict) on that.
    std::string foot = "<footer>Made by readrace_compare";
    if (!version.empty()) {
        foot += ' ';
        foot += EscapeMarkup(version);
    }
    foot += ". This page is whole: it fetches nothing.</footer>\n</body>\n</html>\n";
    return foot;
}

// Figures align right, words left.
std::string Table(const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows) {
    auto cell = [&](const char* tag, const std::string& text) {
        const bool figure =
            tag[1] == 'd' && !text.empty() && (isdigit((unsigned char)text[0]) || text == "-");
        return std::string("<") + tag + (figure ? ">" : " class=\"t\">") + EscapeMarkup(text) +
               "</" + tag + ">";
    };
    std::string html = "<table>\n<tr>";
    for (size_t i = 0; i < header.size(); ++i) {
        html += cell("th", header[i]);
    }
    html += "</tr>\n";
    for (const auto& row : rows) {
        html += "<tr>";
        for (size_t i = 0; i < row.size(); ++i) {
            html += cell("td", row[i]);
        }
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

std::string Definitions(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string html = "<dl>\n";
    for (const auto& [term, text] : items) {
        if (!text.empty()) {
            html += "<dt>" + EscapeMarkup(term) + "</dt><dd>" + EscapeMarkup(text) + "</dd>\n";
        }
    }
    return html + "</dl>\n";
}

std::string MachineDefinitions(const MachineFacts& m) {
    return Definitions(
        {{"host", m.host},
         {"processor", m.cpu},
         {"cores", m.cores > 0 ? std::to_string(m.cores) : ""},
         {"kernel", m.kernel},
         {"file system", m.filesystem},
         {"device", m.device},
         {"transparent huge pages", m.thp},
         {"time-stamp counter", m.tscHz > 0 ? Format("%.3f GHz", m.tscHz / 1e9) : ""},
         {"readrace", m.version}});
}

std::string Card(const std::string& name, const std::string& body, Verdict verdict) {
    return "<div class=\"card\" style=\"--c:" + std::string(svg::VerdictColour(verdict)) +
           "\">\n<p class=\"name\">" + EscapeMarkup(name) + "</p>\n" + body + "</div>\n";
}

std::string Milliseconds(long long ticks, double ticksPerSecond) {
    return Format("%.2f", (double)ticks * 1000 / ticksPerSecond);
}

std::string RunsTable(const DeliverableRuns& d, double ticksPerSecond) {
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < d.runs.size(); ++i) {
        const RunOutput& run = d.runs[i];
        const bool ratio = run.parallelTotal > 0 && run.serialTotal > 0;
        rows.push_back(
            {std::to_string(i + 1), Milliseconds(run.parallelTotal, ticksPerSecond),
             Milliseconds(run.serialTotal, ticksPerSecond),
             ratio ? Format("%.3f", (double)run.serialTotal / (double)run.parallelTotal) : "-",
             std::string(run.parallelWorse ? "Parallel was worse" : "Serial was worse") +
                 (run.hasPercentage ? ", " + std::to_string(run.percentage) + "%" : "")});
    }
    return Table({"run", "parallel total (ms)", "serial total (ms)", "speed-up",
                  "the program's outcome line"},
                 rows);
}

std::string Figure(const std::string& svg) {
    return "<figure>\n" + svg + "</figure>\n";
}

std::string PageStart(const std::string& title, const std::string& directory,
                      const RunContext& context) {
    return Head(title) +
           "<h1>readrace: are two readers at once faster than one?</h1>\n<p class=\"meta\">" +
           EscapeMarkup(directory) + " \xc2\xb7 " + EscapeMarkup(context.origin.startedAt) +
           " \xc2\xb7 " + EscapeMarkup(MachineLine(context.machine)) + "</p>\n";
}

std::string ComparisonCards(const Comparison& comparison, const Suggestions& suggest) {
    std::string html = "<h2>Verdicts</h2>\n<div class=\"cards\">\n";
    for (const DeliverableRuns& d : comparison.deliverables) {
        const std::string body =
            "<p class=\"verdict\">" + EscapeMarkup(VerdictPhrase(d.speedup)) + "</p>\n<p>" +
            EscapeMarkup(SpeedupFigures(d.speedup)) + "</p>\n<p class=\"note\">" +
            EscapeMarkup(Conclusion(d, suggest)) + "</p>\n<p class=\"note\">storage: " +
            EscapeMarkup(StorageText(d.storage, comparison.devices, comparison.unmeasured)) +
            "</p>\n";
        html += Card(d.name, body, d.speedup.verdict);
    }
    return html + "</div>\n";
}

// A card per program with its verdict at each size, named by the largest size's.
std::string SweepCards(const std::vector<Comparison>& sizes) {
    std::string html = "<h2>Verdicts</h2>\n<div class=\"cards\">\n";
    for (const DeliverableRuns& d : sizes.back().deliverables) {
        std::string body;
        for (const Comparison& comparison : sizes) {
            for (const DeliverableRuns& at : comparison.deliverables) {
                if (at.name == d.name) {
                    body += "<p><b>" + EscapeMarkup(FormatSize(comparison.fileSize)) +
                            "</b>: <span style=\"color:" + svg::VerdictColour(at.speedup.verdict) +
                            "\">" + EscapeMarkup(VerdictPhrase(at.speedup)) + "</span>, " +
                            EscapeMarkup(SpeedupFigures(at.speedup)) + "</p>\n";
                }
            }
        }
        const std::string turn = Crossover(sizes, d.name);
        body += turn.empty() ? "" : "<p class=\"note\">" + EscapeMarkup(turn) + "</p>\n";
        html += Card(d.name, body, d.speedup.verdict);
    }
    return html + "</div>\n";
}

// The summary, every run's totals, the machine and how it was run: the same for a comparison
// and a sweep, whose runs are folded per size.
std::string PageEnd(std::span<const Comparison> comparisons, const std::string& directory,
                    const RunContext& context, bool sweep) {
    const TickCalibration& clock = context.clock;
    std::string html =
        "<h2>Summary</h2>\n" + Table(SummaryHeader(comparisons), SummaryRows(comparisons));
    html += "<h2>Runs</h2>\n<p class=\"note\">Each run's totals, in the order run; the "
            "speed-up is the serial total over the parallel total.</p>\n";
    std::string sizes;
    for (const Comparison& comparison : comparisons) {
        for (const DeliverableRuns& d : comparison.deliverables) {
            html += std::string("<details") + (sweep ? "" : " open") + "><summary>" +
                    EscapeMarkup((sweep ? FormatSize(comparison.fileSize) + ", " : "") + d.name) +
                    ": " + std::to_string(d.runs.size()) + " runs</summary>\n" +
                    RunsTable(d, clock.ticksPerSecond) + "</details>\n";
        }
        sizes += (sizes.empty() ? "" : ", ") + FormatSize(comparison.fileSize);
    }
    html += "<h2>Machine</h2>\n" + MachineDefinitions(context.machine);
    const Comparison& last = comparisons.back();
    html += "<h2>How it was run</h2>\n<p><code>" + EscapeMarkup(context.origin.commandLine) +
            "</code></p>\n" +
            Definitions({{"started", context.origin.startedAt},
                         {"directory", directory},
                         {sweep ? "file sizes" : "file size", sizes},
                         {"page cache", EvictionText(last)},
                         {"stopped by", last.stoppedBy},
                         {"time-stamp counter",
                          Format("%.3f GHz%s, calibrated over %.0f ms", clock.ticksPerSecond / 1e9,
                                 clock.invariant ? ", invariant" : ", NOT invariant",
                                 clock.overMilliseconds)}});
    return html + Foot(context.machine.version);
}

std::string ComparisonPage(const ComparisonReport& report) {
    const Comparison& comparison = report.comparison;
    const std::string& directory = comparison.directory;
    std::string html = PageStart("readrace in " + directory, directory, report.context);
    html += ComparisonCards(comparison, report.context.suggest);
    const std::span<const Comparison> one(&comparison, 1);
    html += "<h2>Charts</h2>\n" + Figure(SpeedupSvg(SpeedupRows(one), "")) +
            Figure(FileTimesSvg(report.context.clock.ticksPerSecond, comparison.deliverables));
    return html + PageEnd(one, directory, report.context, false);
}

std::string SweepPage(const SweepReport& report) {
    // The sweep's folders are gone by now; the directory named is where they were.
    std::string directory = report.sizes.back().directory;
    const size_t slash = directory.find_last_of("/\\");
    directory = slash == std::string::npos ? directory : directory.substr(0, slash);
    std::string html = PageStart("readrace sweep in " + directory, directory, report.context);
    html += SweepCards(report.sizes);
    html += "<h2>Charts</h2>\n" + Figure(SweepSvg(report.sizes, "")) +
            Figure(SpeedupSvg(SpeedupRows(report.sizes), ""));
    return html + PageEnd(report.sizes, directory, report.context, true);
}

std::string MergePage(const MergeReport& report) {
    const FleetTable table = MergedTable(report, true);
    const bool groups = table.grouped;
    const std::vector<SpeedupRow> speedups = FleetChart(report, table);
    const std::vector<CheckedReport>& reports = report.reports;
    std::vector<std::vector<std::string>> sources;
    for (size_t r = 0; r < reports.size() && !groups; ++r) {
        sources.push_back({r < report.paths.size() ? report.paths[r] : "", reports[r].startedAt,
                           reports[r].label, reports[r].directory,
                           MachineLine(reports[r].machine)});
    }
    const PageOrigin& origin = report.origin;
    std::string html = Head("readrace across machines");
    html += "<h1>readrace across machines</h1>\n<p class=\"meta\">" +
            std::to_string(reports.size()) + " report" + (reports.size() == 1 ? "" : "s") +
            ", merged " + EscapeMarkup(origin.startedAt) + "</p>\n";
    html += "<h2>Speed-ups</h2>\n";
    if (!speedups.empty()) {
        html += Figure(SpeedupSvg(speedups, ""));
    }
    html += std::string("<h2>") + (groups ? "Groups" : "Table") + "</h2>\n" +
            Table(table.header, table.rows);
    if (!groups) {
        html += "<h2>Reports</h2>\n" +
                Table({"file", "started", "label", "directory", "machine"}, sources);
    }
    html += "<h2>How it was merged</h2>\n<p><code>" + EscapeMarkup(origin.commandLine) +
            "</code></p>\n";
    html += Foot("");
    return html;
}

} // namespace

std::string RenderHtml(const Report& report) {
    return std::visit(PerKind{[](const ComparisonReport& r) { return ComparisonPage(r); },
                              [](const SweepReport& r) { return SweepPage(r); },
                              [](const MergeReport& r) { return MergePage(r); }},
                      report);
}

} // namespace tools
