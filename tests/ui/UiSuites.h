#pragma once
// The window's test classes, each made by its own file; UiTestMain runs one or all of them.

#include <QObject>

namespace kestrun::uitest {

QObject* makeFloatEditTest();
QObject* makeLayoutTest();
QObject* makeBindingTest();
QObject* makeWindowLinkTest();

struct Suite {
    const char* name;
    QObject* (*make)();
};
inline constexpr Suite Suites[] = {{"FloatEdit", makeFloatEditTest},
                                   {"Layout", makeLayoutTest},
                                   {"Binding", makeBindingTest},
                                   {"WindowLink", makeWindowLinkTest}};

} // namespace kestrun::uitest
