// kestrun-cli: the controller set-up tool without a window. The work is in kestrun_cli_lib; this
// is the Windows entry. Its arguments are read as UTF-16 from the system and handed on as UTF-8
// (the narrow argv would be in the ANSI code page and lose every name outside it), and the
// console shows the UTF-8 the tool prints while it runs.

#include "cli/Commands.h"
#include "settings/WidePath_win.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <io.h>

int main() {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count); wide != nullptr) {
        for (int i = 1; i < count; ++i) {
            args.push_back(kestrun::utf8Path(wide[i]));
        }
        ::LocalFree(wide);
    }
    const UINT codePage = ::GetConsoleOutputCP();
    ::SetConsoleOutputCP(CP_UTF8);
    kestrun::cli::Console console;
    console.errTerminal = ::_isatty(::_fileno(stderr)) != 0;
    const int status = kestrun::cli::runCli(args, console);
    std::fflush(stdout);
    std::fflush(stderr);
    if (codePage != 0) {
        ::SetConsoleOutputCP(codePage);
    }
    return status;
}
