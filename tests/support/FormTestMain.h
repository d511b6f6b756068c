// The start of a form test program: a network namespace of its own first (the
// main window scans every adapter at once: never the machine's own), the
// machine's serial ports out of reach, and offscreen when there is no display.
#pragma once

#include "tests/support/NetNamespace.h"

#include <QApplication>
#include <QTest>

namespace kestrel::test {

template <class FormTest> int RunFormTest(int argc, char** argv, void (*prepare)() = nullptr) {
    std::string why;
    if (!EnterPrivateNetNamespace(&why)) {
        qWarning("skipped: %s", why.c_str());
        return 0;
    }
    SetAbsentComPorts();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (prepare) prepare();
    FormTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrel::test
