#include "tests/support/Rig.h"

#include <windows.h>

// The process's handle count is the Windows view of its open files. (A Windows program under
// Wine also sees the host's /proc, but those descriptors are Wine's own and come and go with its
// threads; Wine 8 answers 0 here, so under Wine the check holds trivially.)
int kestrun::test::openDescriptors() {
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return static_cast<int>(handles);
}
