// The physics of a storage device, set at mount time: lanes (requests served at once, in the
// order they came), a latency per request, a penalty for a request that moves the head (to
// another file, or for a disk image to anything but the next byte), and a bandwidth that all
// requests share. It also counts the bytes it served.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/types.h>

namespace model {

struct ModelOptions {
    unsigned lanes = 1;
    unsigned latency_us = 1000;
    unsigned switch_us = 0;
    unsigned long bandwidth = 0; // bytes per second; 0 for none
    unsigned long size = 1 << 18;
    unsigned long request = 1 << 16;
    unsigned long image = 0; // bytes of one disk image to serve instead of the ten files
};

struct Model {
    ModelOptions options;
    std::mutex mutex;
    std::condition_variable laneFree;
    unsigned busy = 0;
    unsigned long long nextTicket = 0, serving = 0;
    int lastFile = -1;
    off_t lastEnd = -1;
    std::chrono::steady_clock::time_point pipeFree{};
    unsigned long long served = 0; // bytes answered to reads
};

// Holds one request of size bytes at offset of a file (0 to 9; 0 for the image) for as long as
// the model says, then counts it as served.
void ServeRequest(Model* model, int file, off_t offset, size_t size);

} // namespace model
