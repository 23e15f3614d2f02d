#include "common/command_line.h"

#include <cstdio>
#include <iostream>

namespace tools {

std::string Version() {
    return READRACE_VERSION;
}

void AddVersion(CLI::App& app) {
    app.set_version_flag("--version", app.get_name() + " " + Version());
}

int ParseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error, std::cout, std::cerr);
        }
        fprintf(stderr, "%s: %s (see --help)\n", app.get_name().c_str(), error.what());
        return 2;
    }
    return -1;
}

int Refuse(const std::string& program, const std::string& message) {
    fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
    return 2;
}

} // namespace tools
