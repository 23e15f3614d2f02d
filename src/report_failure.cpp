// Diagnostics on standard error, each line written whole, so that lines of two threads never mix.
#include "readrace.h"

#include <cstdio>
#include <cwchar>

void ReportFailure(LPCWSTR subject, LPCWSTR reason) {
    wchar_t line[1024];
    swprintf(line, sizeof line / sizeof line[0], L"%ls: %ls: %ls\n", DeliverableName, subject,
             reason);
    WriteErrorLine(line);
}

void ReportSystemFailure(LPCWSTR subject, LPCWSTR what, DWORD error) {
    wchar_t said[256];
    wchar_t reason[512];
    DescribeError(error, said, sizeof said / sizeof said[0]);
    swprintf(reason, sizeof reason / sizeof reason[0], L"%ls: %ls", what, said);
    ReportFailure(subject, reason);
}
