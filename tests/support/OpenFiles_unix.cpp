#include "tests/support/Rig.h"

#include <filesystem>
#include <iterator>

namespace kestrun::test {

int openDescriptors() {
    std::error_code none;
    const std::filesystem::directory_iterator fds("/proc/self/fd", none);
    return static_cast<int>(std::distance(begin(fds), end(fds)));
}

} // namespace kestrun::test
