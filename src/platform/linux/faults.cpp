// The test build's fault lookup: parses READRACE_FAULTS on every call, so it keeps no state but
// the count of created threads.
#include "platform/linux/faults.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct ErrorName {
    const char* name;
    int value;
};

const ErrorName ErrorNames[] = {
    {"EIO", EIO},       {"EMFILE", EMFILE}, {"EACCES", EACCES}, {"ENOMEM", ENOMEM},
    {"EAGAIN", EAGAIN}, {"ENOENT", ENOENT}, {"EBADF", EBADF},   {"ENOSPC", ENOSPC},
};

Fault ParseAction(const char* action, size_t length) {
    if (length == 5 && strncmp(action, "short", 5) == 0) {
        return Fault{FaultShort, 0};
    }
    if (length == 4 && strncmp(action, "null", 4) == 0) {
        return Fault{FaultNull, 0};
    }
    if (length > 6 && strncmp(action, "stall:", 6) == 0) {
        return Fault{FaultStall, atoi(action + 6)};
    }
    for (const ErrorName& error : ErrorNames) {
        if (strlen(error.name) == length && strncmp(action, error.name, length) == 0) {
            return Fault{FaultError, error.value};
        }
    }
    return Fault{FaultNone, 0};
}

bool OnWorkerThread() {
    return syscall(SYS_gettid) != getpid();
}

} // namespace

Fault FindFault(const char* operation, const char* subject) {
    const char* entries = getenv("READRACE_FAULTS");
    if (entries == nullptr) {
        return Fault{FaultNone, 0};
    }
    char key[PATH_MAX + 64];
    snprintf(key, sizeof key, "%s:%s", operation, subject);
    const size_t keyLength = strlen(key);
    for (const char* entry = entries; *entry != '\0';) {
        const char* end = strchr(entry, ';');
        const size_t length = end != nullptr ? (size_t)(end - entry) : strlen(entry);
        const char* equals = (const char*)memchr(entry, '=', length);
        if (equals != nullptr && (size_t)(equals - entry) >= keyLength &&
            strncmp(entry, key, keyLength) == 0) {
            const char* rest = entry + keyLength;
            const bool workerOnly = strncmp(rest, ":worker=", 8) == 0;
            if (rest == equals || (workerOnly && OnWorkerThread())) {
                return ParseAction(equals + 1, length - (size_t)(equals + 1 - entry));
            }
        }
        entry += length;
        if (*entry == ';') {
            ++entry;
        }
    }
    return Fault{FaultNone, 0};
}

Fault FindFaultForDescriptor(const char* operation, int descriptor) {
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return Fault{FaultNone, 0};
    }
    target[length] = '\0';
    const char* slash = strrchr(target, '/');
    return FindFault(operation, slash != nullptr ? slash + 1 : target);
}

Fault FindFaultForSize(const char* operation, unsigned long long size) {
    char subject[32];
    snprintf(subject, sizeof subject, "%llu", size);
    return FindFault(operation, subject);
}

Fault FindThreadFault(void) {
    static std::atomic<int> created{0};
    char ordinal[16];
    snprintf(ordinal, sizeof ordinal, "%d", ++created);
    return FindFault("CreateThread", ordinal);
}

bool ApplyFault(Fault fault) {
    if (fault.kind == FaultStall) {
        timespec pause = {fault.value / 1000, (long)(fault.value % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
    return fault.kind == FaultError;
}
