// The comparison driver: both lists read by two threads at once, then by the main thread alone.
#include "readrace.h"

#include <cwchar>

#ifndef READRACE_OPEN_FLAGS
#error "READRACE_OPEN_FLAGS must be set to the deliverable's open hint"
#endif
#ifndef READRACE_NAME
#error "READRACE_NAME must be set to the deliverable's name"
#endif
// Test builds shorten it to reach the cut-short path in seconds.
#ifndef READRACE_WAIT_LIMIT_MS
#define READRACE_WAIT_LIMIT_MS 60000
#endif

extern const DWORD OpenFlags = READRACE_OPEN_FLAGS;
extern const wchar_t DeliverableName[] = READRACE_NAME;

namespace {

const wchar_t* const ListNames[2] = {L"thread for 0.tmp to 4.tmp", L"thread for 5.tmp to 9.tmp"};

} // namespace

int main() {
    // Static, so that a worker that outlives the wait still reads valid lists when main returns.
    static const wchar_t* const FirstList[6] = {L"0.tmp", L"1.tmp", L"2.tmp",
                                                L"3.tmp", L"4.tmp", NULL};
    static const wchar_t* const SecondList[6] = {L"5.tmp", L"6.tmp", L"7.tmp",
                                                 L"8.tmp", L"9.tmp", NULL};
    HANDLE threads[2];
    DWORD createErrors[2];
    PrepareOutput();

    threads[0] = CreateThread(NULL, 0, ReadFileList, (LPVOID)FirstList, CREATE_SUSPENDED, NULL);
    createErrors[0] = threads[0] == NULL ? GetLastError() : NO_ERROR;
    threads[1] = CreateThread(NULL, 0, ReadFileList, (LPVOID)SecondList, CREATE_SUSPENDED, NULL);
    createErrors[1] = threads[1] == NULL ? GetLastError() : NO_ERROR;

    const unsigned long long parallelStart = ReadCycleCounter();
    ResumeThread(threads[0]);
    ResumeThread(threads[1]);
    const DWORD waited = WaitForMultipleObjects(2, threads, TRUE, READRACE_WAIT_LIMIT_MS);
    const unsigned long long parallelStop = ReadCycleCounter();
    const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : NO_ERROR;
    const Ticks parallelTotal = (Ticks)(parallelStop - parallelStart);
    wprintf(L"Parallel total time: %lld\n", parallelTotal);

    DWORD failures = 0;
    for (int i = 0; i < 2; ++i) {
        if (threads[i] == NULL) {
            ReportSystemFailure(ListNames[i], L"cannot create", createErrors[i]);
        }
    }
    const bool cutShort = waited != WAIT_OBJECT_0 && waited != WAIT_OBJECT_0 + 1;
    if (cutShort) {
        wchar_t reason[160];
        if (waited == WAIT_TIMEOUT) {
            swprintf(reason, sizeof reason / sizeof reason[0],
                     L"cut short after %lu ms; its total and the outcome are not valid",
                     (unsigned long)READRACE_WAIT_LIMIT_MS);
            ReportFailure(L"parallel phase", reason);
        } else {
            ReportSystemFailure(L"parallel phase",
                                L"cut short, its total and the outcome are not valid; the wait "
                                L"failed",
                                waitError);
        }
    } else {
        // Both workers have ended: their results are the files each could not read whole.
        for (int i = 0; i < 2; ++i) {
            DWORD failed = 0;
            if (GetExitCodeThread(threads[i], &failed)) {
                failures += failed;
            }
        }
    }
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);

    const unsigned long long serialStart = ReadCycleCounter();
    const DWORD firstFailures = ReadFileList((LPVOID)FirstList);
    const DWORD secondFailures = ReadFileList((LPVOID)SecondList);
    const unsigned long long serialStop = ReadCycleCounter();
    const Ticks serialTotal = (Ticks)(serialStop - serialStart);
    wprintf(L"Serial total time: %lld\n", serialTotal);
    failures += firstFailures + secondFailures;

    PrintOutcome(parallelTotal, serialTotal);

    DWORD outputError = NO_ERROR;
    const bool outputWritten = FinishOutput(&outputError);
    if (!outputWritten) {
        ReportSystemFailure(L"standard output", L"cannot write", outputError);
    }
    return failures == 0 && !cutShort && outputWritten ? 0 : 1;
}
