#include "storage_model/loop_disk.h"

#include "harness.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harness {

std::string MissingForLoopDevices(const std::vector<std::string>& programs) {
    if (geteuid() != 0) {
        return "loop devices and mounts need root";
    }
    if (access("/dev/loop-control", R_OK | W_OK) != 0) {
        return "there is no /dev/loop-control: modprobe loop";
    }
    std::string missing;
    for (const std::string& program : programs) {
        if (RunProgram({"sh", "-c", "command -v " + program}, "/").status != 0) {
            missing += (missing.empty() ? "" : ", ") + program;
        }
    }
    return missing.empty() ? ""
                           : "missing " + missing + ": apt-get install util-linux e2fsprogs " +
                                 "xfsprogs btrfs-progs";
}

std::string RunCommand(const std::vector<std::string>& command, std::string* out) {
    const Captured run = RunProgram(command, "/");
    if (out != nullptr) {
        *out = run.out;
    }
    if (run.status == 0) {
        return "";
    }
    std::string line;
    for (const std::string& word : command) {
        line += (line.empty() ? "" : " ") + word;
    }
    return line + ": exit status " + std::to_string(run.status) + ": " + run.err;
}

LoopDevice::LoopDevice(const std::string& image, bool directIo) {
    problem = RunCommand({"losetup", "--find", "--show",
                          std::string("--direct-io=") + (directIo ? "on" : "off"), image},
                         &path);
    while (!path.empty() && path.back() == '\n') {
        path.pop_back();
    }
    name = path.substr(path.rfind('/') + 1);
    if (!problem.empty() || !directIo) {
        return;
    }
    // losetup falls back to buffered I/O without a word where the file cannot take direct I/O.
    std::ifstream dio("/sys/block/" + name + "/loop/dio");
    int on = 0;
    if (!(dio >> on) || on != 1) {
        problem = path + " does not do direct I/O over " + image;
    }
}

LoopDevice::~LoopDevice() {
    if (!path.empty()) {
        RunCommand({"losetup", "--detach", path});
    }
}

Mount::Mount(const std::vector<std::string>& arguments, const std::string& where) {
    mkdir(where.c_str(), 0755);
    std::vector<std::string> command = {"mount"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back(where);
    problem = RunCommand(command);
    if (problem.empty()) {
        point = where;
    }
}

Mount::~Mount() {
    // A lazy unmount, should a run still hold a file there, lets the device go all the same.
    if (!point.empty() && umount(point.c_str()) != 0) {
        umount2(point.c_str(), MNT_DETACH);
    }
}

bool LoopDeviceLeft(const std::string& image) {
    std::string out;
    RunCommand({"losetup", "--associated", image}, &out);
    return !out.empty();
}

bool MountLeftUnder(const std::string& directory) {
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.find(" " + directory + "/") != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace harness
