#pragma once
// Runs a piece of a test as an ordinary user. Root ignores file rights, and the tests often run
// as root (CI): there the piece runs in a child process that first gives up root for the
// unprivileged account 65534. Run by an ordinary user, it runs in place.

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::test {

/// The account the piece runs as when the tests run as root.
inline constexpr uid_t UnprivilegedId = 65534;

/// Runs `piece` without root's rights and answers what it returned (0-99).
inline int runUnprivileged(const std::function<int()>& piece) {
    constexpr int CannotDropRoot = 100;
    if (::geteuid() != 0) {
        return piece();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(UnprivilegedId) == 0 &&
                             ::setuid(UnprivilegedId) == 0;
        ::_exit(dropped ? piece() : CannotDropRoot);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != CannotDropRoot)
        << "the piece could not run without root's rights";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Makes `path` belong to the user runUnprivileged runs as (when that is not the caller).
inline void giveToUnprivileged(const char* path) {
    if (::geteuid() == 0) {
        EXPECT_EQ(::chown(path, UnprivilegedId, UnprivilegedId), 0) << path;
    }
}

} // namespace kestrun::test
