// A FUSE file system that serves storage with a device model set at mount time, and never
// caches: every read is a request to the model. It serves either the ten files 0.tmp to 9.tmp,
// read-only, or (--image) one disk image kept in memory, to be put under a loop device with a
// file system of its own, and beside it "served", the bytes the model has answered so far. The
// answer to readrace follows from the model's figures alone, which is what the tests check
// readrace against.
#define FUSE_USE_VERSION 31

#include "storage_model/device_model.h"

#include <fuse.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using model::Model;
using model::ModelOptions;

struct Served {
    Model model;
    std::vector<char> image; // the disk's bytes, for --image
};

constexpr size_t ServedSize = 32; // "served"'s length: a count, padded

Served* TheServed() {
    return static_cast<Served*>(fuse_get_context()->private_data);
}

// 0 to 9 for "/0.tmp" to "/9.tmp", or 0 for "/disk.img" when serving an image; else -1.
int FileIndex(const char* path) {
    if (TheServed()->model.options.image > 0) {
        return std::strcmp(path, "/disk.img") == 0 ? 0 : -1;
    }
    if (std::strlen(path) == 6 && path[0] == '/' && path[1] >= '0' && path[1] <= '9' &&
        std::strcmp(path + 2, ".tmp") == 0) {
        return path[1] - '0';
    }
    return -1;
}

bool IsServedCount(const char* path) {
    return TheServed()->model.options.image > 0 && std::strcmp(path, "/served") == 0;
}

void* Init(fuse_conn_info* connection, fuse_config* config) {
    // Each read reaches the model as it was asked: no page cache. Names and sizes never change,
    // so the kernel may keep them: an open then costs little beside the requests it times.
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->attr_timeout = 3600;
    config->entry_timeout = 3600;
    connection->max_read = TheServed()->model.options.request;
    if (TheServed()->model.options.image > 0) {
        // A loop device's direct requests come at once; without these they would reach the
        // model one at a time.
        connection->want |= connection->capable & (FUSE_CAP_ASYNC_DIO | FUSE_CAP_ASYNC_READ);
    } else {
        // The ten files' reads are not split into parallel pieces.
        connection->want &= ~FUSE_CAP_ASYNC_DIO;
        connection->want &= ~FUSE_CAP_ASYNC_READ;
    }
    return fuse_get_context()->private_data;
}

int GetAttributes(const char* path, struct stat* status, fuse_file_info*) {
    std::memset(status, 0, sizeof *status);
    const ModelOptions& o = TheServed()->model.options;
    if (std::strcmp(path, "/") == 0) {
        status->st_mode = S_IFDIR | 0555;
        status->st_nlink = 2;
        return 0;
    }
    status->st_nlink = 1;
    if (IsServedCount(path)) {
        status->st_mode = S_IFREG | 0444;
        status->st_size = ServedSize;
        return 0;
    }
    if (FileIndex(path) < 0) {
        return -ENOENT;
    }
    status->st_mode = S_IFREG | (o.image > 0 ? 0644 : 0444);
    status->st_size = (off_t)(o.image > 0 ? o.image : o.size);
    return 0;
}

int ReadDirectory(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                  fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) {
        return -ENOENT;
    }
    fill(buffer, ".", nullptr, 0, (fuse_fill_dir_flags)0);
    fill(buffer, "..", nullptr, 0, (fuse_fill_dir_flags)0);
    if (TheServed()->model.options.image > 0) {
        fill(buffer, "disk.img", nullptr, 0, (fuse_fill_dir_flags)0);
        fill(buffer, "served", nullptr, 0, (fuse_fill_dir_flags)0);
        return 0;
    }
    for (char name[] = "0.tmp"; name[0] <= '9'; ++name[0]) {
        fill(buffer, name, nullptr, 0, (fuse_fill_dir_flags)0);
    }
    return 0;
}

int Open(const char* path, fuse_file_info* file) {
    if (FileIndex(path) < 0 && !IsServedCount(path)) {
        return -ENOENT;
    }
    if ((file->flags & O_ACCMODE) != O_RDONLY &&
        (TheServed()->model.options.image == 0 || IsServedCount(path))) {
        return -EROFS;
    }
    file->direct_io = 1;
    return 0;
}

// The count of bytes served, as text: what a test reads before and after.
int ReadServedCount(char* buffer, size_t size, off_t offset) {
    char text[ServedSize + 1];
    {
        std::lock_guard<std::mutex> lock(TheServed()->model.mutex);
        snprintf(text, sizeof text, "%-*llu\n", (int)ServedSize - 1, TheServed()->model.served);
    }
    if ((size_t)offset >= ServedSize) {
        return 0;
    }
    size = std::min(size, ServedSize - (size_t)offset);
    std::memcpy(buffer, text + offset, size);
    return (int)size;
}

// One request, timed by the model; the ten files hold one letter each, the image its own bytes.
int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    if (IsServedCount(path)) {
        return ReadServedCount(buffer, size, offset);
    }
    const int file = FileIndex(path);
    Served* served = TheServed();
    const ModelOptions& o = served->model.options;
    const unsigned long length = o.image > 0 ? o.image : o.size;
    if (file < 0) {
        return -ENOENT;
    }
    if ((unsigned long)offset >= length) {
        return 0;
    }
    size = std::min<size_t>(size, length - (unsigned long)offset);
    model::ServeRequest(&served->model, file, offset, size);
    if (o.image > 0) {
        std::memcpy(buffer, served->image.data() + offset, size);
    } else {
        std::memset(buffer, 'a' + file, size);
    }
    return (int)size;
}

// Writes to the image are not timed: they make the file system and its files, not the runs.
int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info*) {
    Served* served = TheServed();
    if (FileIndex(path) < 0 || served->model.options.image == 0) {
        return -EROFS;
    }
    if ((unsigned long)offset >= served->image.size()) {
        return -ENOSPC;
    }
    size = std::min<size_t>(size, served->image.size() - (size_t)offset);
    std::memcpy(served->image.data() + offset, buffer, size);
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
                                    MODEL_OPTION("image", image),
                                    FUSE_OPT_END};

} // namespace

// model_fs [--lanes=N] [--latency-us=T] [--switch-us=P] [--bandwidth=BYTES_PER_S]
//          [--size=BYTES] [--request=BYTES] [--image=BYTES] MOUNTPOINT [fuse options]
int main(int argc, char** argv) {
    fuse_args args = FUSE_ARGS_INIT(argc, argv);
    Served served;
    ModelOptions& options = served.model.options;
    if (fuse_opt_parse(&args, &options, ModelOptionSpec, nullptr) != 0 || options.lanes == 0 ||
        options.request == 0) {
        return 2;
    }
    served.image.resize(options.image);
    // The model's timing is the test's premise: where allowed (root), its threads, which inherit
    // this, run ahead of whatever else keeps the machine busy.
    sched_param priority = {};
    priority.sched_priority = 10;
    sched_setscheduler(0, SCHED_FIFO, &priority);
    // The kernel splits each read into requests of at most max_read bytes.
    const std::string maxRead = "-omax_read=" + std::to_string(options.request);
    fuse_opt_add_arg(&args, maxRead.c_str());
    fuse_opt_add_arg(&args, options.image > 0
                                ? "-ofsname=readrace_model,subtype=readrace_model"
                                : "-oro,fsname=readrace_model,subtype=readrace_model");
    fuse_operations operations = {};
    operations.init = Init;
    operations.getattr = GetAttributes;
    operations.readdir = ReadDirectory;
    operations.open = Open;
    operations.read = Read;
    operations.write = Write;
    const int status = fuse_main(args.argc, args.argv, &operations, &served);
    fuse_opt_free_args(&args);
    return status;
}
