// Report files written whole or not at all, so that no reader ever finds half a report; and
// standard output checked to the end, so that no output is reported written that was not.
#pragma once

#include <string>

namespace tools {

// Writes text to path under a fresh temporary name beside it (made exclusively, so never
// through a planted link), checks every write, flushes it to storage, checks the close and
// renames it into place; on any failure the temporary is removed and path is left as it was.
// "" when done, otherwise the reason, in the system's words.
std::string WriteFileWhole(const std::string& path, const std::string& text);

// Whether a file can be made at path, tried before any work is done: "" when it can, otherwise
// the system's reason. Leaves nothing behind.
std::string CheckWritable(const std::string& path);

// Holds up to a mebibyte of standard output until CloseStdout, so that a write error is seen
// there with its reason rather than lost in an earlier print. Call before the first print.
void BufferStdout();

// Flushes and closes standard output, as coreutils' close_stdout does: on a write or close
// error it says "<program>: standard output: <reason>" and returns 1, else it returns status.
int CloseStdout(const std::string& program, int status);

} // namespace tools
