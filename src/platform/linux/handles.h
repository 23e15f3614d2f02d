// How the layer's handles are made: a file handle carries its descriptor in an odd value, a
// thread handle is the address of the thread's record (always even). INVALID_HANDLE_VALUE, all
// bits set, is neither.
#pragma once

#include "platform/linux/kernel32.h"

inline HANDLE MakeFileHandle(int descriptor) {
    return (HANDLE)(((intptr_t)descriptor << 1) | 1);
}

inline bool IsFileHandle(HANDLE handle) {
    return handle != INVALID_HANDLE_VALUE && ((intptr_t)handle & 1) != 0 && (intptr_t)handle > 0;
}

inline int FileDescriptorOf(HANDLE handle) {
    return (int)((intptr_t)handle >> 1);
}

// Releases the handle's reference to a thread record; FALSE for a handle that is not one.
BOOL CloseThreadHandle(HANDLE handle);
