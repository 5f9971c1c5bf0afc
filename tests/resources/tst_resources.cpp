#include <QFile>
#include <QFontDatabase>
#include <QImageReader>
#include <QMovie>
#include <QRegularExpression>
#include <QtTest>

// The resource bundle: every file the windows and the tray load is there at the size they expect.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void usedPicturesHaveTheirSize_data();
    void usedPicturesHaveTheirSize();
    void bundleHoldsEveryFile();
    void styleSheetHasTheFourMenuRules();
    void animationIsALoopingGif();
    void fontIsQuicksand();
};

void TestResources::usedPicturesHaveTheirSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    const auto row = [](const char *path, int width, int height) {
        QTest::newRow(path) << QStringLiteral(":/resources/common/") + QLatin1String(path) << QSize(width, height);
    };
    row("images/logo_update.png", 40, 40);
    row("images/logo_update@2x.png", 124, 136);
    row("images/Animations/DefaultMacLoadingAnimation.gif", 630, 637);
    row("images/Flags/UN.png", 32, 24);
    row("images/Flags/UN@2x.png", 64, 48);
    row("images/btn_enter.png", 44, 44);
    row("images/app_store_btn.png", 44, 44);
    row("images/google_play_btn.png", 44, 44);
    row("images/btn_disconnect.png", 88, 119);
    row("images/btn_connect.png", 88, 119);
    row("images/ic_no_connection.png", 40, 44);
    for (const char *name : {"images/ic_log_ip.png", "images/ic_log_session.png", "images/ic_log_downloaded.png",
                             "images/ic_log_sent.png"}) {
        row(name, 34, 34);
    }
    for (const char *name :
         {"images/ic_menu_main@2x.png", "images/ic_menu_settings@2x.png", "images/ic_menu_about@2x.png",
          "images/ic_menu_profile@2x.png", "images/ic_menu_help@2x.png", "images/ic_menu_logout@2x.png",
          "images/ic_menu_main_active@2x.png", "images/ic_menu_settings_active@2x.png",
          "images/ic_menu_about_active@2x.png", "images/ic_menu_profile_active@2x.png",
          "images/ic_menu copy 11@2x.png", "images/ic_menu_logout_active@2x.png"}) {
        row(name, 48, 48);
    }
    row("images/switch_on.png", 44, 20);
    row("images/switch_off.png", 44, 20);
    row("images/about_bg.jpg", 720, 520);
    row("images/popup.png", 328, 86);
    row("images/logo.png", 340, 80);
}

void TestResources::usedPicturesHaveTheirSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.size(), size);
    QVERIFY(!QImage(path).isNull());
}

void TestResources::bundleHoldsEveryFile()
{
    QStringList files;
    QDirIterator it(QStringLiteral(":/resources/common"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    QCOMPARE(files.size(), 129);

    // Every picture comes in two sizes, but for the few that exist in one size only.
    const QStringList singleSize{QStringLiteral("logo"), QStringLiteral("ic_log_downloaded"),
                                 QStringLiteral("ic_log_ip"), QStringLiteral("ic_log_sent"),
                                 QStringLiteral("ic_log_session"), QStringLiteral("ic_log_vpn_protocol")};
    QDir images(QStringLiteral(":/resources/common/images"));
    const QStringList pictures = images.entryList(QDir::Files);
    QCOMPARE(pictures.size(), 124);
    for (const QString &picture : pictures) {
        if (picture.contains(QLatin1String("@2x"))) {
            continue;
        }
        const QString base = QFileInfo(picture).completeBaseName();
        if (singleSize.contains(base)) {
            QVERIFY2(!images.exists(base + QStringLiteral("@2x.png")), qPrintable(picture));
            continue;
        }
        QVERIFY2(images.exists(base + QStringLiteral("@2x.png")), qPrintable(picture));
        if (base == QLatin1String("logo_update")) {
            continue; // the window icon's large variant has a shape of its own (124 x 136)
        }
        const QSize normal = QImageReader(images.filePath(picture)).size();
        const QSize doubled = QImageReader(images.filePath(base + QStringLiteral("@2x.png"))).size();
        QCOMPARE(doubled, normal * 2);
    }
}

void TestResources::styleSheetHasTheFourMenuRules()
{
    QFile file(QStringLiteral(":/resources/common/stylesheet.css"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QVERIFY(file.isOpen());
    QString css = QString::fromUtf8(file.readAll());
    QVERIFY(css.contains(QLatin1String("Main Form")));
    css.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));

    // selector -> declarations, with the two menu lists named in every selector.
    QMap<QString, QStringList> rules;
    const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^{}]*)\\}"));
    for (auto match = rule.globalMatch(css); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        QStringList selectors = m.captured(1).split(QLatin1Char(','));
        for (QString &selector : selectors) {
            selector = selector.simplified();
        }
        QString suffix;
        for (const QString &list : {QStringLiteral("listWidgetMenuItems"), QStringLiteral("listWidgetLogOut")}) {
            const auto found = std::find_if(selectors.cbegin(), selectors.cend(), [&](const QString &s) {
                return s.startsWith(QStringLiteral("#MainDialogWindow #") + list);
            });
            QVERIFY2(found != selectors.cend(), qPrintable(m.captured(1)));
            suffix = found->mid(QStringLiteral("#MainDialogWindow #").size() + list.size());
        }
        QStringList declarations;
        for (const QString &declaration : m.captured(2).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!declaration.simplified().isEmpty()) {
                declarations << declaration.simplified().replace(QStringLiteral(" :"), QStringLiteral(":"));
            }
        }
        rules.insert(suffix, declarations);
    }
    QCOMPARE(rules.size(), 4);
    QCOMPARE(rules.value(QString()), QStringList({QStringLiteral("border: none"),
                                                  QStringLiteral("background-color: #252847"),
                                                  QStringLiteral("font-size: 14px"), QStringLiteral("color: #7e8095")}));
    QCOMPARE(rules.value(QStringLiteral("::item")), QStringList({QStringLiteral("height: 48px")}));
    QCOMPARE(rules.value(QStringLiteral("::item:selected")),
             QStringList({QStringLiteral("background-color: #1f2035"), QStringLiteral("color: #bdc0cd")}));
    QCOMPARE(rules.value(QStringLiteral("::item:hover")),
             QStringList({QStringLiteral("background-color: #1f2035"), QStringLiteral("color: #7c808e")}));
}

void TestResources::animationIsALoopingGif()
{
    const QString path = QStringLiteral(":/resources/common/images/Animations/DefaultMacLoadingAnimation.gif");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(6), QByteArray("GIF89a"));

    QMovie movie(path);
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QCOMPARE(movie.loopCount(), -1);
    movie.start();
    QTRY_VERIFY(movie.currentFrameNumber() > 0);
    QCOMPARE(movie.currentImage().size(), QSize(630, 637));
}

void TestResources::fontIsQuicksand()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/resources/common/fonts/Quicksand-Regular.ttf"));
    QVERIFY(id >= 0);
    QVERIFY(QFontDatabase::applicationFontFamilies(id).contains(QStringLiteral("Quicksand")));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
