#include "tests/stress/SaveFaults.h"

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::stress {
namespace {

constexpr uid_t Unprivileged = 65534;
constexpr int CannotDropRoot = 100;

namespace fs = std::filesystem;

} // namespace

SaveAttempt saveOnFullDisk(const std::string& path, const SettingsRecord& record) {
    SaveAttempt attempt{{}, "file-size limit of 8 bytes during the save"};
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 8;
    // Beyond the limit the kernel also raises SIGXFSZ, which would end the test process.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    ::setrlimit(RLIMIT_FSIZE, &tight);
    attempt.result = saveSettingsFile(path, record);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    return attempt;
}

SaveAttempt saveWithoutRights(const fs::path& folder, const std::string& path,
                              const SettingsRecord& record) {
    SaveAttempt attempt;
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder, readOnly);
    if (::geteuid() != 0) {
        attempt.how = "folder without the write right";
        attempt.result = saveSettingsFile(path, record);
    } else {
        attempt.how = "folder without the write right, saved by an unprivileged child process";
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(Unprivileged) != 0 ||
                ::setuid(Unprivileged) != 0) {
                ::_exit(CannotDropRoot);
            }
            ::_exit(static_cast<int>(saveSettingsFile(path, record).error));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : CannotDropRoot;
        if (code == CannotDropRoot) {
            attempt.how = "target under a folder that does not exist (root could not give up "
                          "its rights here)";
            attempt.result = saveSettingsFile((folder / "missing" / "head.set").string(), record);
        } else {
            attempt.result.error = static_cast<SettingsFileError>(code);
        }
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    return attempt;
}

std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

} // namespace kestrun::stress
