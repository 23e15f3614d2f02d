// The part of the Windows system library that readrace calls, for Linux: the same names, types
// and contracts, so that the program's core reads the same on both systems.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int BOOL;
typedef void* LPVOID;
typedef const wchar_t* LPCWSTR;
typedef size_t SIZE_T;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

#define WINAPI
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define OPEN_EXISTING 3u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define CREATE_SUSPENDED 0x00000004u

#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define STILL_ACTIVE 259u

// Error codes are errno values, with one of the application range (bit 29, as on Windows) for
// what errno cannot say.
#define NO_ERROR 0u
#define ERROR_NOT_REGULAR_FILE 0x20000001u

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

// Opens an existing regular file for reading only; anything else fails with
// INVALID_HANDLE_VALUE. FILE_FLAG_NO_BUFFERING opens it with O_DIRECT and never falls back to a
// cached read; FILE_FLAG_SEQUENTIAL_SCAN advises the kernel of a sequential read of all of it.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile);

// The low 32 bits of the file's length; the high ones go to *high where it is given. A length
// whose low 32 bits are all set returns INVALID_FILE_SIZE with the last error NO_ERROR.
DWORD GetFileSize(HANDLE file, LPDWORD high);

// Reads from the current position until count bytes, the end of the file or an error, however
// many read() calls that takes; *read says how many bytes arrived. Only synchronous reads.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);

// Closes a file or releases a thread handle; the thread itself runs on.
BOOL CloseHandle(HANDLE handle);

HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
DWORD ResumeThread(HANDLE thread);

// Threads only. Fails at once with WAIT_FAILED for a null or invalid handle.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

DWORD GetLastError(void);
