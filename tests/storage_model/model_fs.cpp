// A read-only FUSE file system that serves 0.tmp to 9.tmp from a storage model set at mount
// time, and never caches: every read is a request to the model. The model has lanes (requests
// served at once), a latency per request, a penalty whenever a request is for another file than
// the last one served, and a bandwidth that all requests share. Its answer to readrace follows
// from those figures alone, which is what the tests check readrace against.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct ModelOptions {
    unsigned lanes = 1;
    unsigned latency_us = 1000;
    unsigned switch_us = 0;
    unsigned long bandwidth = 0; // bytes per second; 0 for none
    unsigned long size = 1 << 18;
    unsigned long request = 1 << 16;
};

struct Model {
    ModelOptions options;
    std::mutex mutex;
    std::condition_variable laneFree;
    unsigned busy = 0;
    unsigned long long nextTicket = 0, serving = 0; // requests are served in the order they came
    int lastFile = -1;
    Clock::time_point pipeFree{};
};

Model* TheModel() {
    return static_cast<Model*>(fuse_get_context()->private_data);
}

// 0 to 9 for "/0.tmp" to "/9.tmp", else -1.
int FileIndex(const char* path) {
    if (std::strlen(path) == 6 && path[0] == '/' && path[1] >= '0' && path[1] <= '9' &&
        std::strcmp(path + 2, ".tmp") == 0) {
        return path[1] - '0';
    }
    return -1;
}

void* Init(fuse_conn_info* connection, fuse_config* config) {
    // Each read reaches the model as it was asked: no page cache, no splitting into parallel
    // pieces. Names and sizes never change, so the kernel may keep them: an open then costs
    // little beside the requests the model times.
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->attr_timeout = 3600;
    config->entry_timeout = 3600;
    connection->max_read = TheModel()->options.request;
    connection->want &= ~FUSE_CAP_ASYNC_DIO;
    connection->want &= ~FUSE_CAP_ASYNC_READ;
    return fuse_get_context()->private_data;
}

int GetAttributes(const char* path, struct stat* status, fuse_file_info*) {
    std::memset(status, 0, sizeof *status);
    if (std::strcmp(path, "/") == 0) {
        status->st_mode = S_IFDIR | 0555;
        status->st_nlink = 2;
        return 0;
    }
    if (FileIndex(path) < 0) {
        return -ENOENT;
    }
    status->st_mode = S_IFREG | 0444;
    status->st_nlink = 1;
    status->st_size = (off_t)TheModel()->options.size;
    return 0;
}

int ReadDirectory(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                  fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) {
        return -ENOENT;
    }
    fill(buffer, ".", nullptr, 0, (fuse_fill_dir_flags)0);
    fill(buffer, "..", nullptr, 0, (fuse_fill_dir_flags)0);
    for (char name[] = "0.tmp"; name[0] <= '9'; ++name[0]) {
        fill(buffer, name, nullptr, 0, (fuse_fill_dir_flags)0);
    }
    return 0;
}

int Open(const char* path, fuse_file_info* file) {
    if (FileIndex(path) < 0) {
        return -ENOENT;
    }
    if ((file->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    file->direct_io = 1;
    return 0;
}

// One request: wait, in the order requests came, for a lane, hold it for the latency (and the
// switch penalty) and for the request's turn on the shared bandwidth, then answer.
int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    const int file = FileIndex(path);
    Model* model = TheModel();
    const ModelOptions& o = model->options;
    if (file < 0) {
        return -ENOENT;
    }
    if ((unsigned long)offset >= o.size) {
        return 0;
    }
    size = std::min<size_t>(size, o.size - (unsigned long)offset);
    std::memset(buffer, 'a' + file, size);
    Clock::time_point done;
    {
        std::unique_lock<std::mutex> lock(model->mutex);
        const unsigned long long ticket = model->nextTicket++;
        model->laneFree.wait(lock,
                             [&] { return model->busy < o.lanes && model->serving == ticket; });
        ++model->serving;
        ++model->busy;
        const Clock::time_point now = Clock::now();
        auto service = std::chrono::microseconds(o.latency_us);
        if (file != model->lastFile) {
            service += std::chrono::microseconds(o.switch_us);
        }
        model->lastFile = file;
        done = now + service;
        if (o.bandwidth > 0) {
            const auto transfer =
                std::chrono::nanoseconds((long long)((double)size * 1e9 / (double)o.bandwidth));
            model->pipeFree = std::max(done, model->pipeFree) + transfer;
            done = std::max(done, model->pipeFree);
        }
    }
    // The next in line may be waiting for its turn rather than for a lane.
    model->laneFree.notify_all();
    std::this_thread::sleep_until(done);
    {
        std::lock_guard<std::mutex> lock(model->mutex);
        --model->busy;
    }
    model->laneFree.notify_all();
    return (int)size;
}

#define MODEL_OPTION(name, field)                                                                  \
    { "--" name "=%lu", offsetof(ModelOptions, field), 0 }
#define MODEL_UNSIGNED(name, field)                                                                \
    { "--" name "=%u", offsetof(ModelOptions, field), 0 }
const fuse_opt ModelOptionSpec[] = {MODEL_UNSIGNED("lanes", lanes),
                                    MODEL_UNSIGNED("latency-us", latency_us),
                                    MODEL_UNSIGNED("switch-us", switch_us),
                                    MODEL_OPTION("bandwidth", bandwidth),
                                    MODEL_OPTION("size", size),
                                    MODEL_OPTION("request", request),
                                    FUSE_OPT_END};

} // namespace

// model_fs [--lanes=N] [--latency-us=T] [--switch-us=P] [--bandwidth=BYTES_PER_S]
//          [--size=BYTES] [--request=BYTES] MOUNTPOINT [fuse options]
int main(int argc, char** argv) {
    fuse_args args = FUSE_ARGS_INIT(argc, argv);
    Model model;
    if (fuse_opt_parse(&args, &model.options, ModelOptionSpec, nullptr) != 0 ||
        model.options.lanes == 0 || model.options.request == 0) {
        return 2;
    }
    // The model's timing is the test's premise: where allowed (root), its threads, which inherit
    // this, run ahead of whatever else keeps the machine busy.
    sched_param priority = {};
    priority.sched_priority = 10;
    sched_setscheduler(0, SCHED_FIFO, &priority);
    // The kernel splits each read into requests of at most max_read bytes.
    const std::string maxRead = "-omax_read=" + std::to_string(model.options.request);
    fuse_opt_add_arg(&args, maxRead.c_str());
    fuse_opt_add_arg(&args, "-oro,fsname=readrace_model,subtype=readrace_model");
    fuse_operations operations = {};
    operations.init = Init;
    operations.getattr = GetAttributes;
    operations.readdir = ReadDirectory;
    operations.open = Open;
    operations.read = Read;
    const int status = fuse_main(args.argc, args.argv, &operations, &model);
    fuse_opt_free_args(&args);
    return status;
}
