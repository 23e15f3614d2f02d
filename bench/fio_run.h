// fio's side of the verdict's comparison: job files that read the ten files as readrace's phases
// do, fio's runs and its JSON output; and the huge-page setting its runs may be given.
#pragma once

#include <string>

namespace bench {

constexpr const char* HugePageSetting = "/sys/kernel/mm/transparent_hugepage/enabled";

// Sets the machine's transparent huge pages to value: "", or the system's reason where it
// cannot (it needs root).
std::string SetHugePageSetting(const std::string& value);

// Sets the machine's setting back to setting after fio's runs, whatever they ended with: the
// bench must leave the machine as it found it. Returns status, or 1 where status was 0 and the
// setting could not be set back.
int SetHugePageSettingBack(const std::string& setting, int status);

// A job file over the ten files of fileSize in fio's working folder: two jobs of five files, as
// readrace's parallel phase, or one of all ten, as its serial phase.
std::string FioJobs(bool direct, bool parallel, bool invalidate, unsigned long long fileSize);

// fio's runtime for a job file run in dir, the job file written in scratch, in *milliseconds.
// Returns 0, 1 after saying why fio did not run as expected, or the bench's exit status where
// fio was interrupted or would not end.
int FioRuntime(const std::string& scratch, const std::string& jobs, const std::string& dir,
               double* milliseconds);

} // namespace bench
