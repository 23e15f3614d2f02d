// The mounts of this process's namespace, from /proc/self/mountinfo: which file system holds a
// path, of what type, from which source and with which options.
#pragma once

#include <string>

namespace tools {

struct MountEntry {
    std::string number;  // the file system's device number, "major:minor"
    std::string root;    // the folder of the file system mounted here
    std::string point;   // where it is mounted
    std::string type;    // "ext4", "btrfs", "overlay", ...
    std::string source;  // "/dev/sda1", "overlay", ...
    std::string options; // the file system's own options, comma-separated
};

// The mount that holds realPath (a canonical path): the longest mount point that is a prefix
// of it, the later of two at one point. False where none could be read.
bool FindMount(const std::string& realPath, MountEntry* mount);

// mountinfo writes space, tab, new line and backslash as \ and three octal digits.
std::string UnescapeMountField(const std::string& field);

} // namespace tools
