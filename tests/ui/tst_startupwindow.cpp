#include "ui/ProccessAnimationWidget.h"
#include "ui/StartupWindow.h"

#include <QLabel>
#include <QtTest>

// The start-up window: a fixed, frameless square of text and animation.
class TestStartupWindow : public QObject
{
    Q_OBJECT

private slots:
    void isFramelessAndFixedInSize();
    void showsStartingTextInQuicksand();
    void animationIsCentredBelowTheText();
};

void TestStartupWindow::isFramelessAndFixedInSize()
{
    StartupWindow window;
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window.windowType(), Qt::Window);
    QVERIFY(!window.isModal());
    QCOMPARE(window.windowTitle(), QStringLiteral("RODIDARUD"));
    QVERIFY(!window.windowIcon().isNull());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(240, 340));
    QCOMPARE(window.minimumSize(), QSize(240, 340));
    QCOMPARE(window.maximumSize(), QSize(240, 340));
    QCOMPARE(window.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    window.resize(600, 600);
    QCOMPARE(window.size(), QSize(240, 340));
}

void TestStartupWindow::showsStartingTextInQuicksand()
{
    StartupWindow window;
    auto *label = window.findChild<QLabel *>(QStringLiteral("labelPleaseWait"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Starting application..."));

    const QFont font = label->font();
    QCOMPARE(font.family(), QStringLiteral("Quicksand Medium"));
    QCOMPARE(font.pointSize(), 12);
    QCOMPARE(font.weight(), 3);
    QVERIFY(!font.italic());
}

void TestStartupWindow::animationIsCentredBelowTheText()
{
    StartupWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *label = window.findChild<QLabel *>(QStringLiteral("labelPleaseWait"));
    auto *animation = window.findChild<ProccessAnimationWidget *>(QStringLiteral("widget"));
    QVERIFY(label);
    QVERIFY(animation);
    QVERIFY(animation->isVisible());
    QCOMPARE(animation->size(), QSize(64, 64));
    QVERIFY(animation->geometry().top() >= label->geometry().bottom());
    QVERIFY(qAbs(animation->geometry().center().x() - window.rect().center().x()) <= 1);
}

QTEST_MAIN(TestStartupWindow)
#include "tst_startupwindow.moc"
