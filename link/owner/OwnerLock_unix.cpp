#include "link/owner/OwnerLock.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kestrun {
namespace {

class FileLock : public OwnerLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        if (fd_ >= 0) {
            ::close(fd_); // closing the last descriptor drops the flock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

// A symlink (/dev/serial/by-id/...) and its target are one device, so both take one lock.
std::string canonical(const std::string& device) {
    std::array<char, PATH_MAX> resolved{};
    return ::realpath(device.c_str(), resolved.data()) != nullptr ? std::string(resolved.data())
                                                                  : device;
}

std::string lockPath(const std::string& device) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp";
    std::string name = canonical(device);
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return folder + "/kestrun-lock" + name;
}

} // namespace

std::unique_ptr<OwnerLock> OwnerLock::acquire(const std::string& device, std::string& holder) {
    holder.clear();
    const int fd = ::open(lockPath(device).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::make_unique<FileLock>(-1);
    }
    int locked = 0;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            // The lock file holds "pid program" of its owner, for the message of the one refused.
            std::array<char, 256> record{};
            const ssize_t n = ::pread(fd, record.data(), record.size(), 0);
            holder = holderText(
                device, std::string_view(record.data(), n > 0 ? static_cast<std::size_t>(n) : 0));
            ::close(fd);
            return nullptr;
        }
        ::close(fd);
        return std::make_unique<FileLock>(-1);
    }
    const std::string owner = ownerRecord(::getpid(), program_invocation_short_name);
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd, owner.data(), owner.size(), 0);
    }
    return std::make_unique<FileLock>(fd);
}

} // namespace kestrun
