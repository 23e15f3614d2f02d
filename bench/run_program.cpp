#include "run_program.h"

#include "common/child_process.h"
#include "common/input_file.h"
#include "common/safe_text.h"

#include <cerrno>
#include <cstring>

namespace bench {
namespace {

// Far past any run of these sizes: a deliverable or fio that hangs stops the bench, not the
// machine's whole evening.
constexpr double RunTimeoutSeconds = 600;

} // namespace

int Die(const std::string& what) {
    tools::Complain("readrace_bench", what, strerror(errno));
    return 1;
}

int RunIn(const std::string& scratch, const std::vector<std::string>& command,
          const std::string& dir, std::string* text, long long* peakKiB, int* exitStatus) {
    const std::string out = scratch + "/stdout";
    const tools::ChildResult ran =
        tools::RunChild({command, dir, out, scratch + "/stderr", RunTimeoutSeconds});
    *exitStatus = ran.exitStatus;
    *peakKiB = ran.peakKiB;
    if (ran.interrupt != 0) {
        tools::Complain("readrace_bench", "", "interrupted during " + command[0]);
        return 128 + ran.interrupt;
    }
    if (!ran.unstarted.empty()) {
        tools::Complain("readrace_bench", command[0], "cannot start it: " + ran.unstarted);
        return 1;
    }
    if (ran.timedOut) {
        tools::Complain("readrace_bench", command[0] + " in " + dir,
                        "still running after " + std::to_string((int)RunTimeoutSeconds) +
                            " s; stopped it");
        return 1;
    }
    *text = tools::ReadWholeFile(out);
    return 0;
}

} // namespace bench
