#include "platform/linux/mount_table.h"

#include <fstream>
#include <sstream>

namespace tools {

std::string UnescapeMountField(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](size_t at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            text +=
                (char)((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

bool FindMount(const std::string& realPath, MountEntry* mount) {
    std::ifstream in("/proc/self/mountinfo");
    size_t best = 0;
    bool found = false;
    for (std::string line; std::getline(in, line);) {
        // id, parent, major:minor, root, mount point, options, optional fields, "-", type,
        // source, the file system's options.
        std::istringstream fields(line);
        std::string id, parent;
        MountEntry entry;
        fields >> id >> parent >> entry.number >> entry.root >> entry.point;
        entry.root = UnescapeMountField(entry.root);
        entry.point = UnescapeMountField(entry.point);
        const std::string& point = entry.point;
        const bool inside = realPath == point || point == "/" ||
                            (realPath.rfind(point, 0) == 0 && realPath.size() > point.size() &&
                             realPath[point.size()] == '/');
        const size_t dash = line.find(" - ");
        if (!inside || point.size() < best || dash == std::string::npos) {
            continue;
        }
        std::istringstream rest(line.substr(dash + 3));
        rest >> entry.type >> entry.source >> entry.options;
        entry.source = UnescapeMountField(entry.source);
        best = point.size();
        *mount = entry;
        found = true;
    }
    return found;
}

} // namespace tools
