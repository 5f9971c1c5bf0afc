#pragma once

#include "app/AppCore.h"

#include <QtTest>

namespace harbolink::test {

// Runs a test class against the real application object. TestClass::prepare() runs first, before
// the application exists (point the client at the test services there); then the controller is
// built, which sends the startup request and shows the start-up window as in the program.
template <typename TestClass>
int runWithAppCore(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TestClass::prepare();
    AppCore app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestClass test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

} // namespace harbolink::test

#define HARBOLINK_APPCORE_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        return harbolink::test::runWithAppCore<TestClass>(argc, argv);                                                 \
    }
