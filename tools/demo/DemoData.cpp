#include "DemoData.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

namespace harbolink::demo {

const QVector<Account> &accounts()
{
    static const QVector<Account> list{
        {QStringLiteral("demo@harbolink.test"), QStringLiteral("harbolink"), true,
         QStringLiteral("Welcome back! Your plan: Premium, renews on 2027-12-01.")},
        {QStringLiteral("expired@harbolink.test"), QStringLiteral("harbolink"), false,
         QStringLiteral("Your subscription has expired. Renew it on your account page, then sign in again.")},
    };
    return list;
}

const QVector<Server> &servers()
{
    static const QVector<Server> list{
        {QStringLiteral("Amsterdam"), QStringLiteral("127.0.0.2"), QStringLiteral("NL"), QStringLiteral("Netherlands"),
         QStringLiteral("52.3676"), QStringLiteral("4.9041")},
        {QStringLiteral("Frankfurt"), QStringLiteral("127.0.0.3"), QStringLiteral("DE"), QStringLiteral("Germany"),
         QStringLiteral("50.1109"), QStringLiteral("8.6821")},
        {QStringLiteral("Paris"), QStringLiteral("127.0.0.4"), QStringLiteral("FR"), QStringLiteral("France"),
         QStringLiteral("48.8566"), QStringLiteral("2.3522")},
        {QStringLiteral("Milan"), QStringLiteral("127.0.0.5"), QStringLiteral("IT"), QStringLiteral("Italy"),
         QStringLiteral("45.4642"), QStringLiteral("9.1900")},
        {QStringLiteral("Vienna"), QStringLiteral("127.0.0.6"), QStringLiteral("AT"), QStringLiteral("Austria"),
         QStringLiteral("48.2082"), QStringLiteral("16.3738")},
        {QStringLiteral("Zurich"), QStringLiteral("127.0.0.7"), QStringLiteral("CH"), QStringLiteral("Switzerland"),
         QStringLiteral("47.3769"), QStringLiteral("8.5417")},
        {QStringLiteral("Stockholm"), QStringLiteral("127.0.0.8"), QStringLiteral("SE"), QStringLiteral("Sweden"),
         QStringLiteral("59.3293"), QStringLiteral("18.0686")},
        {QStringLiteral("Helsinki"), QStringLiteral("127.0.0.9"), QStringLiteral("FI"), QStringLiteral("Finland"),
         QStringLiteral("60.1699"), QStringLiteral("24.9384")},
        {QStringLiteral("Warsaw"), QStringLiteral("127.0.0.10"), QStringLiteral("PL"), QStringLiteral("Poland"),
         QStringLiteral("52.2297"), QStringLiteral("21.0122")},
        {QStringLiteral("Dublin"), QStringLiteral("127.0.0.11"), QStringLiteral("IE"), QStringLiteral("Ireland"),
         QStringLiteral("53.3498"), QStringLiteral("-6.2603")},
        {QStringLiteral("Brussels"), QStringLiteral("127.0.0.12"), QStringLiteral("BE"), QStringLiteral("Belgium"),
         QStringLiteral("50.8503"), QStringLiteral("4.3517")},
        {QStringLiteral("Tokyo"), QStringLiteral("127.0.0.13"), QStringLiteral("JP"), QStringLiteral("Japan"),
         QStringLiteral("35.6762"), QStringLiteral("139.6503")},
    };
    return list;
}

namespace {

constexpr int flagWidth = 64;
constexpr int flagHeight = 48;

void horizontalBands(QPainter &p, std::initializer_list<QColor> colours)
{
    const int bands = int(colours.size());
    int i = 0;
    for (const QColor &colour : colours) {
        p.fillRect(QRectF(0, flagHeight * i / double(bands), flagWidth, flagHeight / double(bands) + 0.5), colour);
        ++i;
    }
}

void verticalBands(QPainter &p, std::initializer_list<QColor> colours)
{
    const int bands = int(colours.size());
    int i = 0;
    for (const QColor &colour : colours) {
        p.fillRect(QRectF(flagWidth * i / double(bands), 0, flagWidth / double(bands) + 0.5, flagHeight), colour);
        ++i;
    }
}

void nordicCross(QPainter &p, const QColor &field, const QColor &cross)
{
    p.fillRect(QRect(0, 0, flagWidth, flagHeight), field);
    p.fillRect(QRect(18, 0, 10, flagHeight), cross);
    p.fillRect(QRect(0, 19, flagWidth, 10), cross);
}

} // namespace

QByteArray flagPng(const QString &code)
{
    QImage image(flagWidth, flagHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (code == QLatin1String("NL")) {
        horizontalBands(p, {QColor(174, 28, 40), Qt::white, QColor(33, 70, 139)});
    } else if (code == QLatin1String("DE")) {
        horizontalBands(p, {Qt::black, QColor(221, 0, 0), QColor(255, 206, 0)});
    } else if (code == QLatin1String("FR")) {
        verticalBands(p, {QColor(0, 35, 149), Qt::white, QColor(237, 41, 57)});
    } else if (code == QLatin1String("IT")) {
        verticalBands(p, {QColor(0, 146, 70), Qt::white, QColor(206, 43, 55)});
    } else if (code == QLatin1String("AT")) {
        horizontalBands(p, {QColor(200, 16, 46), Qt::white, QColor(200, 16, 46)});
    } else if (code == QLatin1String("CH")) {
        p.fillRect(image.rect(), QColor(218, 41, 28));
        p.fillRect(QRect(27, 10, 10, 28), Qt::white);
        p.fillRect(QRect(18, 19, 28, 10), Qt::white);
    } else if (code == QLatin1String("SE")) {
        nordicCross(p, QColor(0, 106, 167), QColor(254, 204, 0));
    } else if (code == QLatin1String("FI")) {
        nordicCross(p, Qt::white, QColor(0, 47, 108));
    } else if (code == QLatin1String("PL")) {
        horizontalBands(p, {Qt::white, QColor(220, 20, 60)});
    } else if (code == QLatin1String("IE")) {
        verticalBands(p, {QColor(22, 155, 98), Qt::white, QColor(255, 136, 62)});
    } else if (code == QLatin1String("BE")) {
        verticalBands(p, {Qt::black, QColor(253, 218, 36), QColor(239, 51, 64)});
    } else if (code == QLatin1String("JP")) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(188, 0, 45));
        p.drawEllipse(QPointF(flagWidth / 2.0, flagHeight / 2.0), 14.4, 14.4);
    } else {
        return {};
    }
    p.setPen(QColor(0, 0, 0, 40));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, flagWidth - 1, flagHeight - 1));
    p.end();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace harbolink::demo
