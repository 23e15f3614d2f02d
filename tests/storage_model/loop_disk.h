// Real file systems for the storage tests: loop devices over image files, and mounts, each
// undone when it goes out of scope, a failed test included, so that a test run leaves no mount
// and no loop device behind.
#pragma once

#include <string>
#include <vector>

namespace harness {

// What the loop-device tests lack here (root, /dev/loop-control, the named programs), in words
// that say how to get it; "" where nothing is missing.
std::string MissingForLoopDevices(const std::vector<std::string>& programs);

// A loop device over image; problem says why there is none.
class LoopDevice {
  public:
    LoopDevice(const std::string& image, bool directIo);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    std::string path, name; // "/dev/loop0", "loop0"
    std::string problem;
};

// A mount made with mount's arguments at point; problem says why there is none.
class Mount {
  public:
    Mount(const std::vector<std::string>& arguments, const std::string& point);
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    std::string point;
    std::string problem;
};

// Runs a command and says why it failed, with its standard error; "" where it succeeded.
std::string RunCommand(const std::vector<std::string>& command, std::string* out = nullptr);

// Whether image is still attached to a loop device, or a mount under directory remains.
bool LoopDeviceLeft(const std::string& image);
bool MountLeftUnder(const std::string& directory);

} // namespace harness
