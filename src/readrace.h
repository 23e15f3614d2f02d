// readrace: is reading ten files with two threads at once faster than one after another?
#pragma once

#include "platform/platform.h"

// A count of time-stamp counter ticks: a later reading minus an earlier one, taken as signed.
typedef long long Ticks;
static_assert(sizeof(Ticks) == 8, "Ticks is a signed 64-bit count");

// A null-terminated list of null-terminated wide file names.
typedef const wchar_t* const* FileList;

// Fixed per deliverable when it is built.
extern const DWORD OpenFlags;
extern const wchar_t DeliverableName[];

// The processor's time-stamp counter, read with RDTSC and nothing around it.
unsigned long long ReadCycleCounter(void);

// Reads, times and prints every file of the FileList that parameter points to. Returns the
// number of files that could not be read whole, each of them reported on standard error.
DWORD WINAPI ReadFileList(LPVOID parameter);

// Prints the verdict line for the two phase totals.
void PrintOutcome(Ticks parallel, Ticks serial);

// The count an unbuffered read of a size-byte file asks for: size rounded up to a multiple of
// alignment (a power of two), or the largest such multiple that a DWORD holds.
DWORD RoundUpReadSize(DWORD size, DWORD alignment);

// Writes "<deliverable>: <subject>: <reason>" to standard error in one call.
void ReportFailure(LPCWSTR subject, LPCWSTR reason);

// The same, with the system's text for error appended to the reason.
void ReportSystemFailure(LPCWSTR subject, LPCWSTR what, DWORD error);
