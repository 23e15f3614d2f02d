#include "common/storage_traffic.h"

namespace tools {

StorageCounters CountersDelta(const StorageCounters& before, const StorageCounters& after) {
    // A counter that went backwards was reset (a device re-attached): no delta is known, so 0.
    const auto delta = [](auto a, auto b) { return b >= a ? b - a : decltype(b)(0); };
    return {delta(before.bytesRead, after.bytesRead), delta(before.reads, after.reads),
            delta(before.busyMs, after.busyMs), delta(before.queueMs, after.queueMs)};
}

std::string DeviceNames(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

Residency CachedPagesOf(const std::vector<std::string>& paths) {
    Residency all;
    all.known = true;
    for (const std::string& path : paths) {
        const Residency one = CachedPages(path);
        all.known = all.known && one.known;
        all.cached += one.cached;
        all.pages += one.pages;
    }
    return all;
}

} // namespace tools
