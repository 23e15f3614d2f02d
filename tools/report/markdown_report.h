// Summary tables as Markdown, for a pull request or a wiki page.
#pragma once

#include "runs/comparison.h"

#include <string>
#include <vector>

namespace tools {

using TableRows = std::vector<std::vector<std::string>>;

// A header row and rows, as one Markdown table, written whole (WriteFileWhole); "" when done,
// otherwise the reason.
std::string WriteMarkdownTable(const std::string& path, const std::string& title,
                               const std::vector<std::string>& header, const TableRows& rows);

// One row per size and deliverable: medians of both phases, the speed-up and the conclusion.
TableRows SummaryRows(const std::vector<Comparison>& comparisons);
const std::vector<std::string>& SummaryHeader();

} // namespace tools
