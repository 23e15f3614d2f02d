#include "fio_run.h"

#include "run_program.h"

#include "common/file_ops.h"
#include "common/file_set.h"
#include "common/json.h"
#include "common/output_file.h"
#include "common/safe_text.h"

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace bench {
namespace {

// fio's read runtime in its JSON output (the first job's: the jobs report as one group), or
// why there is none.
std::string ParseFioRuntime(const std::string& output, double* milliseconds) {
    // fio may warn on its standard output before the JSON.
    const size_t start = output.find('{');
    const tools::Json json =
        tools::Json::parse(start == std::string::npos ? "" : output.substr(start), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return "its output is not JSON";
    }
    const auto jobs = json.find("jobs");
    if (jobs == json.end() || !jobs->is_array() || jobs->empty() || !(*jobs)[0].is_object()) {
        return "its output names no job";
    }
    const tools::Json& job = (*jobs)[0];
    const auto read = job.find("read");
    const auto runtime = read == job.end() || !read->is_object() ? read : read->find("runtime");
    if (read == job.end() || !read->is_object() || runtime == read->end() ||
        !runtime->is_number() || runtime->get<double>() <= 0) {
        return "its output has no read runtime";
    }
    *milliseconds = runtime->get<double>();
    return "";
}

// "0.tmp:1.tmp:..." for the files from to to, as fio's filename= takes them.
std::string FioFileList(int from, int to) {
    std::string names;
    for (int i = from; i <= to; ++i) {
        if (i > from) {
            names += ':';
        }
        names += tools::FileName(i);
    }
    return names;
}

} // namespace

std::string SetHugePageSetting(const std::string& value) {
    const int file = open(HugePageSetting, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        return tools::ErrorText(errno);
    }
    const std::string line = value + "\n";
    const std::string unwritten = tools::WriteAll(file, line.data(), line.size());
    const std::string unclosed = tools::CloseFile(file);
    return unwritten.empty() ? unclosed : unwritten;
}

int SetHugePageSettingBack(const std::string& setting, int status) {
    const std::string problem = SetHugePageSetting(setting);
    if (!problem.empty()) {
        tools::Complain("readrace_bench", HugePageSetting,
                        "cannot set it back to \"" + setting + "\": " + problem);
        return status != 0 ? status : 1;
    }
    return status;
}

std::string FioJobs(bool direct, bool parallel, bool invalidate, unsigned long long fileSize) {
    std::ostringstream jobs;
    jobs << "[global]\nioengine=psync\nrw=read\nbs=" << fileSize << "\nsize=" << fileSize
         << "\nfile_service_type=sequential\ngroup_reporting=1\ninvalidate=" << (invalidate ? 1 : 0)
         << "\n"
         << (direct ? "direct=1\n" : "direct=0\nfadvise_hint=sequential\n");
    // As readrace's two workers split the files, and its serial phase reads them all.
    const int half = tools::FileCount / 2;
    if (parallel) {
        jobs << "[first]\nfilename=" << FioFileList(0, half - 1) << "\nnrfiles=" << half
             << "\nsize=" << half * fileSize
             << "\n[second]\nfilename=" << FioFileList(half, tools::FileCount - 1)
             << "\nnrfiles=" << half << "\nsize=" << half * fileSize << "\n";
    } else {
        jobs << "[serial]\nfilename=" << FioFileList(0, tools::FileCount - 1)
             << "\nnrfiles=" << tools::FileCount << "\nsize=" << tools::FileCount * fileSize
             << "\n";
    }
    return jobs.str();
}

int FioRuntime(const std::string& scratch, const std::string& jobs, const std::string& dir,
               double* milliseconds) {
    const std::string jobPath = scratch + "/bench.fio";
    const std::string unwritten = tools::WriteFileWhole(jobPath, jobs);
    if (!unwritten.empty()) {
        tools::Complain("readrace_bench", jobPath, "cannot write fio's job file: " + unwritten);
        return 1;
    }
    std::string json;
    int exitStatus = 0;
    long long peakKiB = 0;
    const int status =
        RunIn(scratch, {"fio", "--output-format=json", jobPath}, dir, &json, &peakKiB, &exitStatus);
    unlink(jobPath.c_str());
    if (status != 0) {
        return status;
    }
    const std::string problem = exitStatus != 0 ? "exit status " + std::to_string(exitStatus)
                                                : ParseFioRuntime(json, milliseconds);
    if (!problem.empty()) {
        tools::Complain("readrace_bench", "fio", problem + "; the verdicts cannot be compared");
        return 1;
    }
    return 0;
}

} // namespace bench
