// The system library the core calls: the real one on Windows, the project's own on Linux.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/linux/kernel32.h"
#endif

#include <cstddef>

// Services of the runtime that both systems supply in their own way.

// A read buffer of size bytes: ordinary alignment where alignment is 0, otherwise aligned to it
// (a power of two). Null when none can be had.
void* AllocateBuffer(size_t size, DWORD alignment);
void ReleaseBuffer(void* block, size_t size, DWORD alignment);

// The alignment of buffer, offset and length that an unbuffered read of the named file needs:
// at least 4096, more where the system reports more.
DWORD GetDirectIoAlignment(LPCWSTR name);

// The system's message for an error code from GetLastError, without a trailing line break.
void DescribeError(DWORD error, wchar_t* text, size_t capacity);

// Readies standard output before any thread prints to it.
void PrepareOutput(void);

// Writes one whole line to standard error with a single write, so that no other writer's text,
// from this process or another, lands inside it.
void WriteErrorLine(const wchar_t* line);

// Writes out what standard output still holds and keeps it locked until the process ends, so
// that a worker that outlived the wait cannot start a line that the end would cut; standard
// error likewise. FALSE, with the reason in *error, when any output could not be written.
BOOL FinishOutput(DWORD* error);
