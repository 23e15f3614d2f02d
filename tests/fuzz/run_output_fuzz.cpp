// The parser of a deliverable's output on arbitrary bytes: it accepts a run or says what is
// wrong, and never crashes, overflows or hangs; and what it accepts is what a run must be: ten
// files a phase, positive totals, and an outcome line that agrees with them.
#include "runs/run_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tools::RunOutput run;
    const std::string problem = tools::ParseRunOutput(std::string((const char*)data, size), &run);
    if (problem.empty() &&
        (run.parallel.size() != (size_t)tools::FileCount ||
         run.serial.size() != (size_t)tools::FileCount || run.parallelTotal <= 0 ||
         run.serialTotal <= 0 || !tools::OutcomeAgrees(run))) {
        abort();
    }
    return 0;
}
