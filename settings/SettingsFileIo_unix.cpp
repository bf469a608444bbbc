// The settings file's system calls on Linux: a read that never waits, and the save: a
// replacement through a temporary file in the same folder (fsync, rename, fsync of the folder)
// where that keeps what a write in place keeps, else the write in place.

#include "settings/SettingsFileIo.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows `path` through any chain of symbolic links, also when the last one dangles: the save
// then writes the file the link names, as an in-place write would, and the link stays a link.
// Empty when the links go round in a loop.
std::string resolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        std::string to(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n < 0) {
            return path;
        }
        to.resize(static_cast<std::size_t>(n));
        path = to.starts_with('/') ? to : folderOf(path) + "/" + to;
    }
    return {};
}

SettingsFileResult saveFailure(int err, SettingsFileError error = SettingsFileError::FailedToSave) {
    SettingsFileResult result;
    result.error = error;
    result.reason = std::strerror(err);
    return result;
}

bool noRights(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// Rewrites the open file in place: the complete new contents first, flushed, and only then cut
// to their length, so the file never holds less than the new contents. Keeps rights, owner, group
// and every hard link.
SettingsFileResult rewriteInPlace(int fd, const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(done));
        if (n < 0 && errno != EINTR) {
            return saveFailure(errno);
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (::fsync(fd) != 0 || ::ftruncate(fd, static_cast<off_t>(count)) != 0 || ::fsync(fd) != 0) {
        return saveFailure(errno);
    }
    return {};
}

} // namespace

SettingsFileError readFileStart(const std::string& path, uint8_t* buffer, std::size_t want,
                                std::size_t& got) {
    got = 0;
    // Without blocking: a pipe nobody writes to or a terminal would otherwise hold the open
    // (or the first read) forever.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        return openError(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return SettingsFileError::FailedToOpen;
    }
    const ssize_t n = readFully(fd.get(), buffer, want);
    if (n < 0) {
        return SettingsFileError::FailedToOpen;
    }
    got = static_cast<std::size_t>(n);
    return SettingsFileError::None;
}

SettingsFileResult saveFileBytes(const std::string& path, const uint8_t* bytes, std::size_t count) {
    const std::string target = resolveLinks(path);
    if (target.empty()) {
        return saveFailure(ELOOP);
    }
    const std::string folder = folderOf(target);

    // What a write in place may do decides: a file this user may not write is refused, however
    // writable its folder is. Opening it for writing asks the system exactly that.
    Fd existing(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat old {};
    if (!existing.valid()) {
        const int err = errno;
        if (err != ENOENT) {
            return saveFailure(err, noRights(err) ? SettingsFileError::AccessDenied
                                                  : SettingsFileError::FailedToSave);
        }
    } else if (::fstat(existing.get(), &old) != 0) {
        return saveFailure(errno);
    } else if (!S_ISREG(old.st_mode)) {
        // A pipe, a terminal or a device is never replaced by a settings file.
        SettingsFileResult result = saveFailure(EINVAL);
        result.reason = "not a regular file";
        return result;
    } else if (old.st_nlink > 1) {
        // Every name of the file is to show the new settings, as after a write in place.
        return rewriteInPlace(existing.get(), bytes, count);
    }

    std::string temp = folder + "/.kestrun-save-XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (!fd.valid()) {
        const int err = errno;
        // A folder this user may not write, holding a file they may: write that file in place.
        if (existing.valid() && noRights(err)) {
            return rewriteInPlace(existing.get(), bytes, count);
        }
        return saveFailure(err, noRights(err) ? SettingsFileError::AccessDenied
                                              : SettingsFileError::FailedToSave);
    }
    // The replacement keeps the file's owner and group (which also decides who may change its
    // rights) and then its rights; a new file gets the usual 0666 & ~umask.
    bool keepsOwner = true;
    mode_t mode = 0;
    if (existing.valid()) {
        struct stat mine {};
        keepsOwner = ::fstat(fd.get(), &mine) == 0 &&
                     ((mine.st_uid == old.st_uid && mine.st_gid == old.st_gid) ||
                      ::fchown(fd.get(), old.st_uid, old.st_gid) == 0);
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = keepsOwner && writeFully(fd.get(), bytes, count) && ::fsync(fd.get()) == 0 &&
              ::fchmod(fd.get(), mode) == 0;
    int err = errno;
    ok = fd.reset() == 0 && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        // This user cannot give a new file the owner or group the file has: in place, it keeps
        // them.
        return keepsOwner ? saveFailure(err) : rewriteInPlace(existing.get(), bytes, count);
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return {};
}

} // namespace kestrun
