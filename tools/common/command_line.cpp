#include "common/command_line.h"

#include "common/safe_text.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

namespace tools {

namespace {

const size_t LineWidth = 80;

// text's words in lines of at most width characters, each line after the first indented.
std::string Wrap(const std::string& text, size_t width, const std::string& indent = "") {
    std::string wrapped;
    std::string line;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            wrapped += line + "\n" + indent;
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return wrapped + line;
}

// What a value is called in the help: the option's type_name, or a plain word for CLI11's own
// names of types ("INT", "TEXT"), without the checks CLI11 appends after a colon.
std::string Placeholder(const CLI::Option* option) {
    const std::string type = option->get_type_name();
    const std::string name = type.substr(0, type.find(':'));
    if (name == "INT" || name == "UINT") {
        return "N";
    }
    if (name == "FLOAT") {
        return "NUMBER";
    }
    return name == "TEXT" ? "VALUE" : name;
}

// CLI11's layout with usage first, placeholders for types, defaults in words, text wrapped.
struct HelpFormat : CLI::Formatter {
    HelpFormat() {
        column_width(26);
        label("Positionals", "Arguments");
    }

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        return make_usage(app, name) + make_description(app) + make_positionals(app) +
               make_groups(app, mode) + "\n" + make_footer(app);
    }

    std::string make_description(const CLI::App* app) const override {
        return Wrap(app->get_description(), LineWidth) + "\n";
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        if (positional) {
            return option->get_name(true, false);
        }
        std::string names;
        for (const std::string& name : option->get_snames()) {
            names += (names.empty() ? "-" : ", -") + name;
        }
        for (const std::string& name : option->get_lnames()) {
            names += (names.empty() ? "--" : ", --") + name;
        }
        return names;
    }

    std::string make_option_opts(const CLI::Option* option) const override {
        const bool flag = option->get_items_expected_max() == 0;
        return option->get_positional() || flag ? "" : " " + Placeholder(option);
    }

    std::string make_option_desc(const CLI::Option* option) const override {
        std::string text = option->get_description();
        if (!option->get_default_str().empty()) {
            text += " (default: " + option->get_default_str() + ")";
        }
        return Wrap(text, LineWidth - get_column_width());
    }

    // The footer's lines keep their indentation; long ones wrap under it.
    std::string make_footer(const CLI::App* app) const override {
        std::istringstream lines(app->get_footer());
        std::string footer;
        for (std::string line; std::getline(lines, line);) {
            const std::string indent(std::min(line.find_first_not_of(' '), line.size()), ' ');
            footer += indent + Wrap(line, LineWidth - indent.size(), indent) + "\n";
        }
        return footer;
    }
};

// Insertions, deletions, substitutions and swaps of neighbours that turn one text into the
// other: "--sise" is one from "--size", "--rnus" one from "--runs".
size_t EditDistance(const std::string& from, const std::string& to) {
    std::vector<std::vector<size_t>> d(from.size() + 1, std::vector<size_t>(to.size() + 1));
    for (size_t i = 0; i <= from.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= to.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= from.size(); ++i) {
        for (size_t j = 1; j <= to.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (from[i - 1] == to[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[from.size()][to.size()];
}

// The first argument that looks like an option but names none of app's ("--sise" of
// "--sise=4KiB"), or "". Looked for before CLI11 parses, which would blame the arguments after
// it instead.
std::string FindUnknownOption(const CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            break;
        }
        if (argument.size() < 2 || argument[0] != '-' ||
            (argument[1] >= '0' && argument[1] <= '9')) {
            continue;
        }
        const std::string name = argument.substr(0, argument.find('='));
        const CLI::Option* option = app.get_option_no_throw(name);
        if (option == nullptr) {
            return name;
        }
        if (option->get_items_expected_max() > 0 && name.size() == argument.size()) {
            ++i; // the option's value, whatever it looks like
        }
    }
    return "";
}

// The option of app nearest to an unknown one ("--sise" -> "--size"), or "" when none is close.
std::string NearestOption(const CLI::App& app, const std::string& unknown) {
    const size_t letters =
        unknown.size() - std::min(unknown.find_first_not_of('-'), unknown.size());
    // A third of the letters may be wrong, and one always.
    size_t best = std::max<size_t>(1, letters / 3) + 1;
    std::string nearest;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            const size_t distance = EditDistance(unknown, "--" + name);
            if (distance < best) {
                best = distance;
                nearest = "--" + name;
            }
        }
    }
    return nearest;
}

} // namespace

std::string Version() {
    return READRACE_VERSION;
}

void AddVersion(CLI::App& app) {
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", app.get_name() + " " + Version(),
                         "print the version and exit");
}

int ParseCommandLine(CLI::App& app, int argc, char** argv) {
    app.formatter(std::make_shared<HelpFormat>());
    const std::string unknown = FindUnknownOption(app, argc, argv);
    if (!unknown.empty()) {
        const std::string nearest = NearestOption(app, unknown);
        return Refuse(app.get_name(),
                      "unknown option " + unknown +
                          (nearest.empty() ? " (see --help)" : "; did you mean " + nearest + "?"));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error, std::cout, std::cerr);
        }
        // CLI11's message quotes the value given, which may hold anything.
        return Refuse(app.get_name(), std::string(error.what()) + " (see --help)");
    }
    return -1;
}

int Refuse(const std::string& program, const std::string& message) {
    Complain(program, "", message);
    return 2;
}

} // namespace tools
