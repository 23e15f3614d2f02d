// Test helper: holds a file open without sharing for a while, as another program might, so
// that a run can meet a file it is not allowed to open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fwprintf(stderr, L"usage: hold_file FILE MILLISECONDS\n");
        return 2;
    }
    const HANDLE file =
        CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"hold_file: %ls: cannot open: error %lu\n", argv[1],
                 (unsigned long)GetLastError());
        return 1;
    }
    wprintf(L"held\n");
    fflush(stdout);
    Sleep((DWORD)wcstoul(argv[2], NULL, 10));
    CloseHandle(file);
    return 0;
}
