// kestrun: the window program. Sets up the application object's names (the settings store's
// company and application keys, the desktop entry), reads the command line and hands over to
// CKestrunApp.

#include "app/AppText.h"
#include "app/CAboutDlg.h"
#include "app/CKestrunApp.h"
#include "app/CommandLine.h"
#include "app/LinkChoice.h"
#include "app/ShellPrompts.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/// Exit codes of the program: 0 a normal end (or the screenshot written), 1 start-up failed
/// (a settings file that cannot be read), 2 the command line made no sense.
constexpr int ExitStartFailed = 1;
constexpr int ExitUsage = 2;

/// Help and the screenshot need no display. Help is answered before the toolkit looks for
/// one; a screenshot is rendered offscreen unless a platform was chosen. Answers true when the
/// program is done (help was printed).
bool prepareForNoDisplay(int argc, char** argv) {
    bool screenshot = false;
    bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kestrun::usageText().toLocal8Bit().constData(), stdout);
            return true;
        }
        screenshot = screenshot || std::strcmp(argv[i], "--screenshot") == 0 ||
                     std::strncmp(argv[i], "--screenshot=", 13) == 0;
        platformChosen = platformChosen || std::strcmp(argv[i], "-platform") == 0;
    }
    if (screenshot && !platformChosen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestrun;
    if (prepareForNoDisplay(argc, argv)) {
        return EXIT_SUCCESS;
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
    QString problem = parsed.error;
    if (parsed.options && !parsed.options->help) {
        problem = linkChoiceProblem(*parsed.options);
    }
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "kestrun: %s\n%s", problem.toLocal8Bit().constData(),
                     usageText().toLocal8Bit().constData());
        return ExitUsage;
    }
    if (parsed.options->help) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return EXIT_SUCCESS;
    }

    const char* toStderr = std::getenv(AppText::MessagesToStderrVariable);
    if (toStderr != nullptr && *toStderr != '\0') {
        setMessageHook(stderrMessageHook());
    }

    CKestrunApp theApp(*parsed.options);
    if (!theApp.InitInstance()) {
        return ExitStartFailed;
    }
    return theApp.run();
}
