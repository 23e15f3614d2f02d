// The Linux system layer keeps the contracts that the program relies on.
#include "harness.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(LinuxLayer, OpensExistingFilesForReadingOnly) {
    harness::ScratchDir dir;
    harness::WriteRandomFile(dir / "a.tmp", 100);
    const auto before = harness::Snapshot(dir.path());
    const harness::Captured run = harness::RunInChild(dir.path(), [] {
        struct {
            LPCWSTR name;
            DWORD access, creation;
        } const refused[] = {
            {L"a.tmp", 0x40000000u /* GENERIC_WRITE */, OPEN_EXISTING},
            {L"a.tmp", GENERIC_READ | 0x40000000u, OPEN_EXISTING},
            {L"a.tmp", GENERIC_READ, 2 /* CREATE_ALWAYS */},
            {L"new.tmp", GENERIC_READ, 4 /* OPEN_ALWAYS */},
            {L"a.tmp", GENERIC_READ, 5 /* TRUNCATE_EXISTING */},
        };
        int failures = 0;
        for (const auto& c : refused) {
            const HANDLE file = CreateFileW(c.name, c.access, 0, NULL, c.creation, 0, NULL);
            if (file != INVALID_HANDLE_VALUE) {
                ++failures;
                CloseHandle(file);
            }
        }
        const HANDLE file = CreateFileW(L"a.tmp", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        char byte = 0;
        DWORD done = 0;
        if (file == INVALID_HANDLE_VALUE || !ReadFile(file, &byte, 1, &done, NULL) || done != 1) {
            ++failures;
        }
        CloseHandle(file);
        return failures;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(harness::Snapshot(dir.path()), before);
}

// read() moves at most about 2 GiB a call; the layer's one ReadFile still delivers it all.
TEST(LinuxLayer, ReadsMoreThanOneReadCallMoves) {
    if (READRACE_SANITIZED) {
        GTEST_SKIP() << "a 2 GiB buffer is too much for a sanitizer's shadow memory";
    }
    harness::ScratchDir dir;
    const unsigned long long size = 0x90000123ull;
    harness::MakeEntry(dir.path(), {"big.tmp", harness::Entry::Sparse, size});
    const harness::Captured run = harness::RunInChild(dir.path(), [&] {
        const HANDLE file = CreateFileW(L"big.tmp", GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        DWORD high = 1;
        const DWORD low = GetFileSize(file, &high);
        void* buffer = AllocateBuffer(low, 0);
        DWORD done = 0;
        const BOOL ok = buffer != NULL && ReadFile(file, buffer, low, &done, NULL);
        ReleaseBuffer(buffer, low, 0);
        CloseHandle(file);
        return ok && high == 0 && low == (DWORD)size && done == low ? 0 : 1;
    });
    EXPECT_EQ(run.status, 0);
}

DWORD WINAPI ReturnSeven(LPVOID) {
    return 7;
}

// Waits for the flag to turn 1, writes its line, then turns it 2.
DWORD WINAPI WaitForFlag(LPVOID flag) {
    std::atomic<int>* state = (std::atomic<int>*)flag;
    while (state->load() == 0) {
        usleep(1000);
    }
    write(1, "ran on\n", 7);
    *state = 2;
    return 0;
}

TEST(LinuxLayer, ThreadsStartSuspendedAndOutliveTheirHandles) {
    const harness::Captured run = harness::RunInChild(".", [] {
        int failures = 0;
        // Suspended until resumed: its exit code says it has not run.
        HANDLE threads[2] = {CreateThread(NULL, 0, ReturnSeven, NULL, CREATE_SUSPENDED, NULL),
                             CreateThread(NULL, 0, ReturnSeven, NULL, CREATE_SUSPENDED, NULL)};
        usleep(20000);
        DWORD code = 0;
        failures += !GetExitCodeThread(threads[0], &code) || code != STILL_ACTIVE;
        ResumeThread(threads[0]);
        ResumeThread(threads[1]);
        failures += WaitForMultipleObjects(2, threads, TRUE, 5000) != WAIT_OBJECT_0;
        failures += !GetExitCodeThread(threads[1], &code) || code != 7;
        CloseHandle(threads[0]);
        CloseHandle(threads[1]);

        // A null handle fails the wait at once.
        HANDLE withNull[2] = {CreateThread(NULL, 0, ReturnSeven, NULL, 0, NULL), NULL};
        failures += WaitForMultipleObjects(2, withNull, TRUE, 60000) != WAIT_FAILED;
        failures += GetLastError() != EBADF;
        CloseHandle(withNull[0]);
        failures += CloseHandle(NULL) != FALSE;

        // A thread still running reaches the limit, and runs on after its handle is closed.
        std::atomic<int> flag{0};
        HANDLE slow[2] = {CreateThread(NULL, 0, WaitForFlag, &flag, 0, NULL),
                          CreateThread(NULL, 0, ReturnSeven, NULL, 0, NULL)};
        failures += WaitForMultipleObjects(2, slow, TRUE, 50) != WAIT_TIMEOUT;
        CloseHandle(slow[0]);
        CloseHandle(slow[1]);
        flag = 1;
        // Its line takes a few milliseconds at most; ten seconds is a deadline, not a wait.
        for (int waited = 0; flag.load() != 2 && waited < 10000; ++waited) {
            usleep(1000);
        }
        return failures;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ran on\n");
}

} // namespace
