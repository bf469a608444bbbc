// The settings file's system calls on Linux: a plain read, and the replacing save through a
// temporary file in the same folder, fsync, rename and an fsync of the folder.

#include "settings/SettingsFileIo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrun {
namespace {

// Owns a file descriptor so that every path out of a function closes it.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    int reset() {
        int rc = 0;
        if (fd_ >= 0) {
            rc = ::close(fd_);
        }
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

SettingsFileError openError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return SettingsFileError::NotFound;
    case EACCES:
    case EPERM:
        return SettingsFileError::AccessDenied;
    default:
        return SettingsFileError::FailedToOpen;
    }
}

// Reads up to `want` bytes, retrying short reads; -1 on a read error.
ssize_t readFully(int fd, uint8_t* buffer, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
        ssize_t n = ::read(fd, buffer + got, want - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool writeFully(int fd, const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a save really replaces: a symbolic link is followed, so the link stays a link.
std::string saveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

SettingsFileError readFileStart(const std::string& path, uint8_t* buffer, std::size_t want,
                                std::size_t& got) {
    got = 0;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return openError(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return SettingsFileError::FailedToOpen;
    }
    const ssize_t n = readFully(fd.get(), buffer, want);
    if (n < 0) {
        return SettingsFileError::FailedToOpen;
    }
    got = static_cast<std::size_t>(n);
    return SettingsFileError::None;
}

bool replaceFileAtomically(const std::string& path, const uint8_t* bytes, std::size_t count) {
    const std::string target = saveTarget(path);
    const std::string folder = folderOf(target);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        return false; // a folder or a device is never replaced by a settings file
    }

    std::string temp = folder + "/.kestrun-save-XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (!fd.valid()) {
        return false;
    }
    bool ok = writeFully(fd.get(), bytes, count) && ::fsync(fd.get()) == 0;
    if (ok) {
        // Keep the permissions the replaced file had; a new file gets the usual 0666 & ~umask.
        mode_t mode = 0;
        if (exists) {
            mode = old.st_mode & 07777;
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ok = ::fchmod(fd.get(), mode) == 0;
    }
    ok = fd.reset() == 0 && ok;
    if (ok) {
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return true;
}

} // namespace kestrun
