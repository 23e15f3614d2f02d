#include "compare/measure.h"

#include "common/command_line.h"
#include "common/safe_text.h"
#include "common/size_text.h"
#include "common/dir_lock.h"
#include "common/file_ops.h"
#include "prepare/prepare_files.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace compare {

namespace {

// The sweep, in a fresh folder of its own inside DIR, so that nothing that was there is touched:
// each size's files in a folder of it, compared, then removed unless kept.
int SweepInFolder(const Options& options, const std::vector<tools::DeliverableRuns>& found,
                  const tools::TickCalibration& clock, const std::vector<unsigned long long>& sizes,
                  const fs::path& sweepFolder, std::vector<tools::Comparison>* sweep) {
    std::error_code error;
    for (const unsigned long long size : sizes) {
        const fs::path folder = sweepFolder / ("readrace-" + std::to_string(size) + "B");
        int status = tools::PrepareFiles(Program, folder.string(), size, true, false);
        tools::Comparison comparison;
        if (status == 0) {
            // A sweep's folders share one device: why it is not measured is said once.
            status =
                RunComparison(options, found, folder.string(), clock, &comparison, sweep->empty());
        }
        if (!options.keep || status > 128) {
            fs::remove_all(folder, error);
        }
        if (status != 0) {
            if (status > 128) {
                tools::Complain(Program, "", "interrupted: removed " + folder.string());
            }
            return status;
        }
        sweep->push_back(comparison);
    }
    return 0;
}

} // namespace

int RunSweep(const Options& options, const std::vector<tools::DeliverableRuns>& found,
             const tools::TickCalibration& clock, std::vector<tools::Comparison>* sweep) {
    const std::vector<unsigned long long>& sizes = options.sweepSizes;
    const fs::path scratch = options.paths[0];
    std::error_code error;
    fs::create_directories(scratch, error);
    // Room for the largest size's files and one being written, or for every size when kept.
    unsigned long long needed = (tools::FileCount + 1ull) * sizes.back();
    if (options.keep) {
        needed = sizes.back();
        for (const unsigned long long size : sizes) {
            needed += tools::FileCount * size;
        }
    }
    const fs::space_info space = fs::space(scratch, error);
    if (error) {
        return tools::Refuse(Program, scratch.string() + ": " + error.message());
    }
    if (space.available < needed) {
        return tools::Refuse(Program, scratch.string() + ": too little free space for the sweep: " +
                                          tools::FormatSize(needed) + " needed, " +
                                          tools::FormatSize(space.available) + " available");
    }
    tools::DirectoryLock lock;
    if (const int refused = tools::LockForRun(Program, scratch.string(), &lock)) {
        return refused;
    }
    std::string sweepFolder;
    const std::string unmade =
        tools::MakeFreshDirectory((scratch / "readrace-sweep-").string(), &sweepFolder);
    if (!unmade.empty()) {
        tools::UnlockDirectory(&lock);
        return tools::Refuse(Program, (scratch / "readrace-sweep-XXXXXX").string() +
                                          ": cannot make the sweep's folder: " + unmade);
    }
    const int status = SweepInFolder(options, found, clock, sizes, sweepFolder, sweep);
    if (options.keep && !fs::is_empty(sweepFolder, error)) {
        tools::Complain(Program, "", "kept the files in " + sweepFolder);
    } else {
        fs::remove_all(sweepFolder, error);
    }
    tools::UnlockDirectory(&lock);
    return status;
}

} // namespace compare
