// The parser of a deliverable's output on arbitrary bytes: it accepts a run or says what is
// wrong, and never crashes, overflows or hangs.
#include "runs/run_output.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tools::RunOutput run;
    tools::ParseRunOutput(std::string((const char*)data, size), &run);
    return 0;
}
