// The timed list reader: each file opened, sized, read whole into a fresh buffer, released and
// closed between two counter readings, then its line printed.
#include "readrace.h"

#include <cstdio>
#include <cwchar>

namespace {

// How far a file's step got. Filled in inside the timed interval with plain stores only; it is
// judged and reported after the stop stamp.
enum StepEnd { OpenFailed, SizeFailed, AllocationFailed, ReadMade };

struct FileStep {
    StepEnd end;
    DWORD error;     // GetLastError() right after the call that failed
    DWORD sizeLow;   // what GetFileSize returned
    DWORD sizeHigh;  // the high part of the length
    DWORD asked;     // the count the read asked for
    DWORD bytesRead; // what the read says it delivered
    BOOL readOk;
};

Ticks TimeFile(LPCWSTR name, DWORD alignment, FileStep* step) {
    const unsigned long long start = ReadCycleCounter();
    const HANDLE file = CreateFileW(name, GENERIC_READ, 0, NULL, OPEN_EXISTING, OpenFlags, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        step->error = GetLastError();
        step->end = OpenFailed;
    } else {
        step->sizeLow = GetFileSize(file, &step->sizeHigh);
        if (step->sizeLow == INVALID_FILE_SIZE) {
            step->error = GetLastError();
            step->end = SizeFailed;
        } else {
            step->asked =
                alignment != 0 ? RoundUpReadSize(step->sizeLow, alignment) : step->sizeLow;
            void* buffer = AllocateBuffer(step->asked, alignment);
            if (buffer == NULL) {
                step->end = AllocationFailed;
            } else {
                step->bytesRead = 0;
                step->readOk = ReadFile(file, buffer, step->asked, &step->bytesRead, NULL);
                if (!step->readOk) {
                    step->error = GetLastError();
                }
                ReleaseBuffer(buffer, step->asked, alignment);
                step->end = ReadMade;
            }
        }
        CloseHandle(file);
    }
    const unsigned long long stop = ReadCycleCounter();
    return (Ticks)(stop - start);
}

// Reports a step that did not read the whole file; returns 1 for such a step, 0 otherwise.
DWORD ReportFileStep(LPCWSTR name, const FileStep* step) {
    wchar_t reason[160];
    const size_t capacity = sizeof reason / sizeof reason[0];
    const unsigned long long length = ((unsigned long long)step->sizeHigh << 32) | step->sizeLow;
    switch (step->end) {
    case OpenFailed:
        ReportSystemFailure(name, L"cannot open", step->error);
        return 1;
    case SizeFailed:
        if (step->error != NO_ERROR) {
            ReportSystemFailure(name, L"cannot get size", step->error);
        } else {
            swprintf(reason, capacity,
                     L"not read: the low 32 bits of its length (%llu bytes) are all set", length);
            ReportFailure(name, reason);
        }
        return 1;
    case AllocationFailed:
        if (step->asked == 0 && step->sizeHigh == 0) {
            return 0; // an empty file needs no buffer to be read whole
        }
        swprintf(reason, capacity, L"not read: cannot allocate %lu bytes",
                 (unsigned long)step->asked);
        ReportFailure(name, reason);
        return 1;
    case ReadMade:
        break;
    }
    if (!step->readOk) {
        swprintf(reason, capacity, L"read failed after %lu of %lu bytes",
                 (unsigned long)step->bytesRead, (unsigned long)step->sizeLow);
        ReportSystemFailure(name, reason, step->error);
        return 1;
    }
    if (step->bytesRead < step->sizeLow) {
        swprintf(reason, capacity, L"short read: %lu of %lu bytes", (unsigned long)step->bytesRead,
                 (unsigned long)step->sizeLow);
        ReportFailure(name, reason);
        return 1;
    }
    if (step->bytesRead > step->sizeLow) {
        swprintf(reason, capacity, L"read %lu bytes, more than its length of %lu: it grew",
                 (unsigned long)step->bytesRead, (unsigned long)step->sizeLow);
        ReportFailure(name, reason);
        return 1;
    }
    if (step->sizeHigh != 0) {
        swprintf(reason, capacity,
                 L"only %lu of its %llu bytes read: a length of 4 GiB or more does not fit the "
                 L"size query",
                 (unsigned long)step->sizeLow, length);
        ReportFailure(name, reason);
        return 1;
    }
    return 0;
}

} // namespace

DWORD WINAPI ReadFileList(LPVOID parameter) {
    const FileList list = (FileList)parameter;
    DWORD failures = 0;
    for (size_t i = 0; list[i] != NULL; ++i) {
        const LPCWSTR name = list[i];
        // Asked before the start stamp, so that it never counts in the file's time.
        const DWORD alignment =
            (OpenFlags & FILE_FLAG_NO_BUFFERING) != 0 ? GetDirectIoAlignment(name) : 0;
        FileStep step = {OpenFailed, NO_ERROR, 0, 0, 0, 0, FALSE};
        const Ticks ticks = TimeFile(name, alignment, &step);
        wprintf(L"* %ls %lld\n", name, ticks);
        failures += ReportFileStep(name, &step);
    }
    return failures;
}
