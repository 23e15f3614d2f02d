// readrace_prepare: writes the ten input files, "0.tmp" to "9.tmp", of incompressible data,
// every byte on storage, and leaves them out of the page cache.
#include "common/command_line.h"
#include "prepare/prepare_files.h"
#include "common/size_text.h"
#include "common/file_ops.h"

#include <string>

int main(int argc, char** argv) {
    const std::string program = "readrace_prepare";
    CLI::App app("Writes 0.tmp to 9.tmp of SIZE each into DIR, flushed to storage and evicted "
                 "from the cache. DIR is made if it is missing.",
                 program);
    tools::AddVersion(app);
    std::string sizeText = "64MiB";
    bool force = false;
    std::string dir;
    app.add_option("--size", sizeText, "the size of each file, as under Sizes below")
        ->type_name("SIZE")
        ->capture_default_str();
    app.add_flag("--force", force, "replace files that are already there");
    app.add_option("DIR", dir, "the directory for the files")->required();
    app.footer(tools::SizesHelp() +
               "Examples:\n"
               "  readrace_prepare /data/bench\n"
               "      ten files of 64 MiB in /data/bench\n"
               "  readrace_prepare --size 1G --force /data/bench\n"
               "      replace them with ten files of 1 GiB\n"
               "  readrace_prepare --size 4M build/demo && cd build/demo && readrace_seq\n"
               "      ten small files, then one run of readrace_seq on them");
    const int parsed = tools::ParseCommandLine(app, argc, argv);
    if (parsed >= 0) {
        return parsed;
    }
    const auto size = tools::ParseSize(sizeText);
    if (!size) {
        return tools::Refuse(program,
                             "malformed size '" + sizeText + "': give " + tools::SizeForms());
    }
    if (*size == 0) {
        return tools::Refuse(program, "size 0: readrace times reading files, so each needs at "
                                      "least 1 byte");
    }
    if (!tools::IsFileSize(*size)) {
        return tools::Refuse(program,
                             "size " + tools::FormatSize(*size) +
                                 " is too large: readrace reads a file whole only below 4 GiB - 1 "
                                 "byte");
    }
    return tools::PrepareFiles(program, dir, *size, force, tools::IsTerminal(2));
}
