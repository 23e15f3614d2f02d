// Report files written whole or not at all, so that no reader ever finds half a report; and
// standard output checked to the end, so that no output is reported written that was not.
#pragma once

#include <string>

namespace tools {

// A file written under a temporary name beside its final path, renamed into place only once
// whole: the reports' files and prepare's ten files alike.
struct PendingFile {
    std::string path;      // where it goes when whole
    std::string temporary; // where it is written until then
    int file = -1;
};

// Makes the temporary beside path exclusively (so never through a planted link): named
// temporaryName where one is given (a stale file of that name is removed first), else a fresh
// hidden name. "" when made, otherwise the system's reason.
std::string BeginWholeFile(const std::string& path, const std::string& temporaryName,
                           PendingFile* pending);

// Flushes the temporary to storage, checks the close, renames it into place and syncs the
// folder; on any failure removes the temporary, leaving path as it was. "" or the reason.
std::string CommitWholeFile(PendingFile* pending);

// Closes and removes the temporary: for a write that failed or was interrupted.
void AbandonWholeFile(PendingFile* pending);

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
