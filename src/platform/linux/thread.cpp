// Threads for the Linux layer: created suspended, resumed, waited for with a limit, and
// outliving their handles as Windows threads do.
#include "platform/linux/faults.h"
#include "platform/linux/handles.h"
#include "platform/linux/kernel32.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <new>
#include <pthread.h>

namespace {

// Shared by the handle and the running thread; whichever lets go last frees it.
struct ThreadRecord {
    pthread_mutex_t lock;
    pthread_cond_t changed;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    bool resumed;
    bool finished;
    DWORD exitCode;
    int references;
};

void Release(ThreadRecord* record) {
    pthread_mutex_lock(&record->lock);
    const bool last = --record->references == 0;
    pthread_mutex_unlock(&record->lock);
    if (last) {
        pthread_cond_destroy(&record->changed);
        pthread_mutex_destroy(&record->lock);
        delete record;
    }
}

void* RunThread(void* argument) {
    ThreadRecord* record = (ThreadRecord*)argument;
    pthread_mutex_lock(&record->lock);
    while (!record->resumed) {
        pthread_cond_wait(&record->changed, &record->lock);
    }
    pthread_mutex_unlock(&record->lock);

    const DWORD exitCode = record->start(record->parameter);

    pthread_mutex_lock(&record->lock);
    record->exitCode = exitCode;
    record->finished = true;
    pthread_cond_broadcast(&record->changed);
    pthread_mutex_unlock(&record->lock);
    Release(record);
    return nullptr;
}

ThreadRecord* RecordOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || IsFileHandle(handle)) {
        return nullptr;
    }
    return (ThreadRecord*)handle;
}

// Waits for one thread to finish, up to the deadline; false when the deadline came first.
bool WaitUntil(ThreadRecord* record, const timespec* deadline) {
    pthread_mutex_lock(&record->lock);
    int result = 0;
    while (!record->finished && result != ETIMEDOUT) {
        result = deadline != nullptr
                     ? pthread_cond_timedwait(&record->changed, &record->lock, deadline)
                     : pthread_cond_wait(&record->changed, &record->lock);
    }
    const bool finished = record->finished;
    pthread_mutex_unlock(&record->lock);
    return finished;
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
    const Fault fault = FindThreadFault();
    if (ApplyFault(fault)) {
        errno = fault.value;
        return nullptr;
    }
    if (start == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    ThreadRecord* record = new (std::nothrow) ThreadRecord;
    if (record == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    record->start = start;
    record->parameter = parameter;
    record->resumed = (flags & CREATE_SUSPENDED) == 0;
    record->finished = false;
    record->exitCode = STILL_ACTIVE;
    record->references = 2;
    pthread_condattr_t condition;
    pthread_condattr_init(&condition);
    pthread_condattr_setclock(&condition, CLOCK_MONOTONIC);
    pthread_cond_init(&record->changed, &condition);
    pthread_condattr_destroy(&condition);
    pthread_mutex_init(&record->lock, nullptr);

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes, stackSize);
    }
    pthread_t thread;
    const int result = pthread_create(&thread, &attributes, RunThread, record);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        pthread_cond_destroy(&record->changed);
        pthread_mutex_destroy(&record->lock);
        delete record;
        errno = result;
        return nullptr;
    }
    if (threadId != nullptr) {
        *threadId = 0;
    }
    return (HANDLE)record;
}

DWORD ResumeThread(HANDLE thread) {
    ThreadRecord* record = RecordOf(thread);
    if (record == nullptr) {
        errno = EBADF;
        return (DWORD)-1;
    }
    pthread_mutex_lock(&record->lock);
    const DWORD previous = record->resumed ? 0 : 1;
    record->resumed = true;
    pthread_cond_broadcast(&record->changed);
    pthread_mutex_unlock(&record->lock);
    return previous;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    // Waiting for any one thread is not needed by readrace and not offered.
    if (count == 0 || handles == nullptr || !waitAll) {
        errno = EINVAL;
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (RecordOf(handles[i]) == nullptr) {
            errno = EBADF;
            return WAIT_FAILED;
        }
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += (long)(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    const bool forever = milliseconds == 0xFFFFFFFFu;
    for (DWORD i = 0; i < count; ++i) {
        if (!WaitUntil(RecordOf(handles[i]), forever ? nullptr : &deadline)) {
            return WAIT_TIMEOUT;
        }
    }
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    ThreadRecord* record = RecordOf(thread);
    if (record == nullptr || exitCode == nullptr) {
        errno = EBADF;
        return FALSE;
    }
    pthread_mutex_lock(&record->lock);
    *exitCode = record->finished ? record->exitCode : STILL_ACTIVE;
    pthread_mutex_unlock(&record->lock);
    return TRUE;
}

BOOL CloseThreadHandle(HANDLE handle) {
    ThreadRecord* record = RecordOf(handle);
    if (record == nullptr) {
        errno = EBADF;
        return FALSE;
    }
    Release(record);
    return TRUE;
}
