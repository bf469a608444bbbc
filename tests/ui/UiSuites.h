#pragma once
// The window's test classes, each made by its own file.

#include <QObject>

#include <vector>

namespace kestrun::uitest {

struct Suite {
    const char* name;
    QObject* (*make)();
};

QObject* makeFieldParseTest();
QObject* makeFloatEditTest();
QObject* makeLayoutTest();
QObject* makeBindingTest();
QObject* makeWindowLinkTest();

inline std::vector<Suite> suites() {
    return {{"FieldParse", makeFieldParseTest},
            {"FloatEdit", makeFloatEditTest},
            {"Layout", makeLayoutTest},
            {"Binding", makeBindingTest},
            {"WindowLink", makeWindowLinkTest}};
}

} // namespace kestrun::uitest
