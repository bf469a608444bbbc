// kestrun: the window program. Sets up the application object's names (the settings store's
// company and application keys, the desktop entry), reads the command line and hands over to
// CKestrunApp.

#include "app/AppText.h"
#include "app/CAboutDlg.h"
#include "app/CKestrunApp.h"
#include "app/CommandLine.h"
#include "app/Display.h"
#include "app/LinkChoice.h"
#include "app/ShellPrompts.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

/// Exit codes of the program: 0 a normal end (or the screenshot written), 1 start-up failed
/// (a settings file that cannot be read), 2 the command line made no sense.
constexpr int ExitStartFailed = 1;
constexpr int ExitUsage = 2;

/// The command line's complaint, or empty when it makes sense.
QString commandLineProblem(const kestrun::CommandLineResult& parsed) {
    if (!parsed.options) {
        return parsed.error;
    }
    return parsed.options->help ? QString() : kestrun::linkChoiceProblem(*parsed.options);
}

int usageError(const QString& problem) {
    std::fprintf(stderr, "kestrun: %s\n%s", problem.toLocal8Bit().constData(),
                 kestrun::usageText().toLocal8Bit().constData());
    return ExitUsage;
}

/// What needs no display is done before the toolkit looks for one: help, the version, and the
/// usage of a command line that makes no sense where there is no display at all (a remote
/// shell). On Linux a screenshot is rendered offscreen unless a platform was chosen. Answers the
/// exit code when the program is done.
std::optional<int> runWithoutDisplay(int argc, char** argv) {
    bool screenshot = false;
    bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kestrun::usageText().toLocal8Bit().constData(), stdout);
            return EXIT_SUCCESS;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kestrun %s\n%s. All rights reserved.\n", KESTRUN_VERSION,
                        kestrun::AppText::AboutRightsLine);
            return EXIT_SUCCESS;
        }
        screenshot = screenshot || std::strcmp(argv[i], "--screenshot") == 0 ||
                     std::strncmp(argv[i], "--screenshot=", 13) == 0;
        // The toolkit takes "-platform" and "--platform" (its other options need a display).
        platformChosen = platformChosen || std::strcmp(argv[i], "-platform") == 0 ||
                         std::strcmp(argv[i], "--platform") == 0;
    }
    if (!platformChosen && !kestrun::displayAvailable()) {
        const QString problem = commandLineProblem(kestrun::parseCommandLine(arguments));
        if (!problem.isEmpty()) {
            return usageError(problem);
        }
    }
    if (screenshot && !platformChosen && kestrun::ScreenshotOffscreen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestrun;
    if (const std::optional<int> done = runWithoutDisplay(argc, argv)) {
        return *done;
    }
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppText::CompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(AppText::AppName));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUN_VERSION));
    // No display name on purpose: some platforms append it to every window title, and the
    // frame's caption is "Tavrel" and nothing else.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppText::DesktopFileName));
    QApplication::setWindowIcon(applicationIcon());

    const CommandLineResult parsed = parseCommandLine(QCoreApplication::arguments());
    if (const QString problem = commandLineProblem(parsed); !problem.isEmpty()) {
        return usageError(problem);
    }
    if (parsed.options->help) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return EXIT_SUCCESS;
    }

    const char* toStderr = std::getenv(AppText::MessagesToStderrVariable);
    if (toStderr != nullptr && *toStderr != '\0') {
        setMessageHook(stderrMessageHook());
    }

    // The settings file's name as the system spells it: a name that is not valid UTF-8 has no
    // exact QString, and the file must still open. The toolkit has taken its own options out of
    // argv, so argv and the arguments read run in step. (On Windows argv is in the ANSI code page
    // and the name read from the system's UTF-16 is the exact one.)
    CommandLine options = *parsed.options;
    if (ArgvIsTheSystemsBytes && options.settingsFileArgument > 0 &&
        options.settingsFileArgument < argc) {
        options.settingsFileBytes = QByteArray(argv[options.settingsFileArgument]);
    }
    CKestrunApp theApp(options);
    if (!theApp.InitInstance()) {
        return ExitStartFailed;
    }
    return theApp.run();
}
