// kestrun-cli: the controller set-up tool without a window. The work is in kestrun_cli_lib; this
// is the Linux entry, whose arguments are the bytes the system gives.

#include "cli/Commands.h"

#include <unistd.h>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    kestrun::cli::Console console;
    console.errTerminal = ::isatty(STDERR_FILENO) == 1;
    return kestrun::cli::runCli(args, console);
}
