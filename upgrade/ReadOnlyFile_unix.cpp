#include "upgrade/ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun {

FileHandle openRegularFile(const std::string& path, uint64_t* length) {
    if (path.empty()) {
        return nullptr;
    }
    // Non-blocking, so that opening a pipe someone chose by mistake returns at once; the flag
    // has no effect on reads of a regular file.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return nullptr;
    }
    if (length != nullptr) {
        *length = static_cast<uint64_t>(info.st_size);
    }
    return FileHandle(file);
}

} // namespace kestrun
