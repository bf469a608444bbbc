// Runs the window's test classes: all of them, or the one named by the first argument.
#include "tests/ui/UiSuites.h"

#include <QApplication>
#include <QTest>

#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* only = argc > 1 ? argv[1] : nullptr;
    int failures = 0;
    bool ran = false;
    for (const kestrun::uitest::Suite& suite : kestrun::uitest::Suites) {
        if (only == nullptr || std::strcmp(only, suite.name) == 0) {
            ran = true;
            std::unique_ptr<QObject> tests(suite.make());
            failures += QTest::qExec(tests.get(), 1, argv);
        }
    }
    return ran ? failures : 2;
}
