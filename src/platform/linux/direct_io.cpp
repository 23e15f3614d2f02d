// The alignment that a direct read needs, from statx; kept apart because the kernel's statx
// header and the C library's stat header cannot be included together.
#include "platform/platform.h"

#include <climits>
#include <linux/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr DWORD SmallestDirectIoAlignment = 4096;
constexpr int CurrentDirectory = -100; // AT_FDCWD

} // namespace

DWORD GetDirectIoAlignment(LPCWSTR name) {
    DWORD alignment = SmallestDirectIoAlignment;
    char path[PATH_MAX];
    size_t used = 0;
    // The names readrace reads are ASCII; any other name keeps the smallest alignment, and the
    // open reports what is wrong with it.
    for (; name[used] != L'\0'; ++used) {
        if ((unsigned long)name[used] >= 0x80 || used + 1 >= sizeof path) {
            return alignment;
        }
        path[used] = (char)name[used];
    }
    path[used] = '\0';
    struct statx status = {};
    if (syscall(SYS_statx, CurrentDirectory, path, 0, STATX_DIOALIGN, &status) == 0 &&
        (status.stx_mask & STATX_DIOALIGN) != 0) {
        if (status.stx_dio_mem_align > alignment) {
            alignment = status.stx_dio_mem_align;
        }
        if (status.stx_dio_offset_align > alignment) {
            alignment = status.stx_dio_offset_align;
        }
    }
    return alignment;
}
