// Diagnostics on standard error, one whole line per call, so that lines of two threads never mix.
#include "readrace.h"

#include <cstdio>
#include <cwchar>

void ReportFailure(LPCWSTR subject, LPCWSTR reason) {
    fwprintf(stderr, L"%ls: %ls: %ls\n", DeliverableName, subject, reason);
}

void ReportSystemFailure(LPCWSTR subject, LPCWSTR what, DWORD error) {
    wchar_t said[256];
    wchar_t reason[512];
    DescribeError(error, said, sizeof said / sizeof said[0]);
    swprintf(reason, sizeof reason / sizeof reason[0], L"%ls: %ls", what, said);
    ReportFailure(subject, reason);
}
