// The bare reference that readrace's per-file step is measured against: the same system calls,
// into a buffer got one of several ways, and nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// How the reference gets its buffer.
enum Buffer { PreTouched, FreshMalloc, FreshReadraceBuffer };

struct Touched {
    char* mapped;
    size_t length;
    char* buffer; // on a huge-page boundary within the mapping
};

// A buffer of at least size bytes, touched, with or without huge pages. Returns 0, or 1 after
// saying why there is none.
int TouchedBuffer(size_t size, bool hugePages, Touched* touched);

// Unmaps what TouchedBuffer mapped.
void FreeTouchedBuffer(const Touched& touched);

// The bare loop: per file in dir, the system calls that readrace's step makes, and nothing
// else; touched is the buffer where buffer is PreTouched. Appends each file's ticks. Returns 0,
// or 1 after saying why a file could not be read whole.
int ReferencePass(const std::string& dir, bool direct, Buffer buffer, char* touched,
                  std::vector<double>* ticks);

} // namespace bench
