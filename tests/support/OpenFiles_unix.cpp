#include "tests/support/Rig.h"

int kestrun::test::openDescriptors() {
    std::error_code none;
    const fs::directory_iterator fds("/proc/self/fd", none);
    return static_cast<int>(std::distance(begin(fds), end(fds)));
}
