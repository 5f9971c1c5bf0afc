#include "ui/ProccessAnimationWidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QMovie>
#include <QVBoxLayout>
#include <QtTest>

// The busy animation: a 64 x 64 square that plays the bundled GIF, or says in red that it cannot.
class TestProccessAnimationWidget : public QObject
{
    Q_OBJECT

private slots:
    void staysSquareWhateverTheLayout_data();
    void staysSquareWhateverTheLayout();
    void playsTheAnimationScaledDown();
    void invalidAnimationShowsRedText();
};

void TestProccessAnimationWidget::staysSquareWhateverTheLayout_data()
{
    QTest::addColumn<bool>("gridLayout");
    QTest::addColumn<QSize>("windowSize");

    QTest::newRow("box layout in a large window") << false << QSize(500, 400);
    QTest::newRow("grid layout in a large window") << true << QSize(500, 400);
    QTest::newRow("box layout in a small window") << false << QSize(40, 30);
}

void TestProccessAnimationWidget::staysSquareWhateverTheLayout()
{
    QFETCH(bool, gridLayout);
    QFETCH(QSize, windowSize);

    QWidget window;
    auto *animation = new ProccessAnimationWidget(&window);
    animation->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (gridLayout) {
        auto *layout = new QGridLayout(&window);
        layout->addWidget(animation, 0, 0);
    } else {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(animation, 1);
    }
    window.resize(windowSize);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(animation->size(), QSize(64, 64));
    animation->resize(200, 10);
    QCOMPARE(animation->size(), QSize(64, 64));
    QCOMPARE(animation->objectName(), QStringLiteral("ProccessAnimationWidget"));
}

void TestProccessAnimationWidget::playsTheAnimationScaledDown()
{
    ProccessAnimationWidget animation;
    auto *label = animation.findChild<QLabel *>(QStringLiteral("labelAnimation"));
    QVERIFY(label);
    QMovie *movie = label->movie();
    QVERIFY(movie);
    QVERIFY(movie->isValid());
    QCOMPARE(movie->state(), QMovie::Running);
    QCOMPARE(movie->scaledSize(), QSize(64, 64));
    QVERIFY(label->text().isEmpty());

    // It keeps playing while hidden and after being shown.
    QSignalSpy frames(movie, &QMovie::frameChanged);
    animation.show();
    QTRY_VERIFY(frames.count() >= 3);
    QCOMPARE(movie->currentPixmap().size(), QSize(64, 64));

    // Its scaled frames are kept, and it loops on from them past the first pass.
    QCOMPARE(movie->cacheMode(), QMovie::CacheAll);
    const int frameCount = movie->frameCount();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > frameCount + 2, 10000);
    QCOMPARE(movie->state(), QMovie::Running);
    QCOMPARE(movie->currentPixmap().size(), QSize(64, 64));
}

void TestProccessAnimationWidget::invalidAnimationShowsRedText()
{
    // Without the bundle the animation's resource path leads nowhere.
    Q_CLEANUP_RESOURCE(harbolink);
    ProccessAnimationWidget animation;
    Q_INIT_RESOURCE(harbolink);

    auto *label = animation.findChild<QLabel *>(QStringLiteral("labelAnimation"));
    QVERIFY(label);
    QVERIFY(!label->movie());
    QCOMPARE(label->text(), QStringLiteral("Ivalid gif!"));
    QCOMPARE(label->styleSheet(), QStringLiteral("color: rgb(255, 0, 0);"));

    animation.show();
    QVERIFY(QTest::qWaitForWindowExposed(&animation));
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(animation.size(), QSize(64, 64));
}

QTEST_MAIN(TestProccessAnimationWidget)
#include "tst_proccessanimationwidget.moc"
