#pragma once
// Runs a piece of a test as an ordinary user. Root ignores file rights and CI runs as root: there
// the piece runs in a child that first drops to the unprivileged account 65534.

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::test {

inline constexpr uid_t UnprivilegedId = 65534;

/// Runs `piece` without root's rights and answers what it returned (0-99).
inline int runUnprivileged(const std::function<int()>& piece) {
    if (::geteuid() != 0) {
        return piece();
    }
    if (const pid_t child = ::fork(); child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(UnprivilegedId) == 0 &&
                             ::setuid(UnprivilegedId) == 0;
        ::_exit(dropped ? piece() : 100);
    } else {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 100) << "could not drop root";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
}

/// Gives `path` to the user runUnprivileged runs as (when that is not the caller).
inline void giveToUnprivileged(const char* path) {
    EXPECT_TRUE(::geteuid() != 0 || ::chown(path, UnprivilegedId, UnprivilegedId) == 0) << path;
}

} // namespace kestrun::test
