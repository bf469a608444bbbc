// The shell's tests in one program: `app_tests GROUP [Qt Test arguments]` runs one group, no
// group runs them all. The settings store points at a folder of the run's own, so the tests
// never touch the user's recent files.

#include "app/AppText.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>
#include <functional>
#include <vector>

namespace kestrun::test {
int runShellPiecesTests(int argc, char** argv);
int runShellFlowTests(int argc, char** argv);
int runFrameTests(int argc, char** argv);
int runStartupTests(int argc, char** argv);
int runProgramTests(int argc, char** argv);
} // namespace kestrun::test

int main(int argc, char** argv) {
    using namespace kestrun;
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(AppText::CompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(AppText::AppName));
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());

    struct Group {
        const char* name;
        std::function<int(int, char**)> run;
    };
    const std::vector<Group> groups = {
        {"pieces", test::runShellPiecesTests}, {"flow", test::runShellFlowTests},
        {"frame", test::runFrameTests},        {"startup", test::runStartupTests},
        {"program", test::runProgramTests},
    };

    // The first argument may name a group; the rest go to Qt Test.
    const char* chosen = nullptr;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        bool isGroup = false;
        for (const Group& group : groups) {
            isGroup = isGroup || std::strcmp(argv[i], group.name) == 0;
        }
        if (i == 1 && isGroup) {
            chosen = argv[i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    int failures = 0;
    for (const Group& group : groups) {
        if (chosen == nullptr || std::strcmp(chosen, group.name) == 0) {
            failures += group.run(static_cast<int>(rest.size()), rest.data());
        }
    }
    return failures == 0 ? 0 : 1;
}
