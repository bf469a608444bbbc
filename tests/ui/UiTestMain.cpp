// Runs the window's test classes: all of them, or the one named by the first argument (the
// rest of the arguments go to Qt Test).
#include "tests/ui/UiSuites.h"

#include <QApplication>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* only = (argc > 1 && argv[1][0] != '-') ? argv[1] : nullptr;
    std::vector<char*> rest{argv[0]};
    for (int i = only != nullptr ? 2 : 1; i < argc; ++i) {
        rest.push_back(argv[i]);
    }
    int failures = 0;
    bool ran = false;
    for (const kestrun::uitest::Suite& suite : kestrun::uitest::suites()) {
        if (only != nullptr && std::strcmp(only, suite.name) != 0) {
            continue;
        }
        ran = true;
        std::unique_ptr<QObject> tests(suite.make());
        failures += QTest::qExec(tests.get(), static_cast<int>(rest.size()), rest.data());
    }
    return ran ? failures : 2;
}
