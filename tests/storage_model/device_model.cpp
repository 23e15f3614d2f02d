#include "storage_model/device_model.h"

#include <algorithm>
#include <thread>

namespace model {

using Clock = std::chrono::steady_clock;

// Waits, in the order requests came, for a lane, holds it for the latency (and the switch
// penalty) and for the request's turn on the shared bandwidth.
void ServeRequest(Model* model, int file, off_t offset, size_t size) {
    const ModelOptions& o = model->options;
    Clock::time_point done;
    {
        std::unique_lock<std::mutex> lock(model->mutex);
        const unsigned long long ticket = model->nextTicket++;
        model->laneFree.wait(lock,
                             [&] { return model->busy < o.lanes && model->serving == ticket; });
        ++model->serving;
        ++model->busy;
        auto service = std::chrono::microseconds(o.latency_us);
        // Ten files are apart from each other; on an image only the next byte needs no move.
        const bool moved = o.image > 0 ? offset != model->lastEnd : file != model->lastFile;
        if (moved) {
            service += std::chrono::microseconds(o.switch_us);
        }
        model->lastFile = file;
        model->lastEnd = offset + (off_t)size;
        done = Clock::now() + service;
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
        model->served += size;
    }
    model->laneFree.notify_all();
}

} // namespace model
