// The companions' command lines, on CLI11: one format for errors, --help and --version.
#pragma once

#include "common/version.h"

#include <CLI/CLI.hpp>

#include <string>

namespace tools {

// Adds --version to app, and words it and --help as the other options are.
void AddVersion(CLI::App& app);

// Parses the command line. --help names each value by its type_name ("--size SIZE", "--runs
// N"), never CLI11's types or checks, shows defaults as "(default: 30)" and ends with the
// app's footer, its examples. After parsing, -1 means go on; otherwise the tool exits with the
// value: 0 after --help or --version (printed on standard output), 2 after a mistake, which is
// printed on standard error as "<program>: <what is wrong>". An unknown option is named with
// the nearest known one.
int ParseCommandLine(CLI::App& app, int argc, char** argv);

// "<program>: <message>" on standard error; returns 2, the status for a refused request.
int Refuse(const std::string& program, const std::string& message);

} // namespace tools
