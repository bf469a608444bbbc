// kestrun-cli: the controller set-up tool without a window. The work is in kestrun_cli_lib; this
// is the Linux entry, whose arguments are the bytes the system gives.

#include "cli/Commands.h"

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A standard stream the caller closed (`>&-`, `2>&-`) would otherwise be the number the next
// open gets, and the tool's messages would land in a settings file or on the controller's
// port. Standard output is held by a descriptor that refuses writes, so lost data is still
// reported; closed input and error read and write nothing.
void holdClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int flags = fd == STDERR_FILENO ? O_WRONLY : O_RDONLY;
            const int held = ::open("/dev/null", flags);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

int errColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace

int main(int argc, char** argv) {
    holdClosedStandardStreams();
    // A reader that went away (`2>&1 | head`) must not kill an upgrade half-way through the
    // erase: writes to it fail quietly, the upgrade goes on, and the exit status tells.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    kestrun::cli::Console console;
    console.errTerminal = ::isatty(STDERR_FILENO) == 1;
    console.errColumns = errColumns;
    return kestrun::cli::runCli(args, console);
}
