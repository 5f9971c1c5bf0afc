#include "tunnel/Protocol.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

Protocol::Protocol(QObject *parent)
    : QObject(parent)
    , networkManager(std::make_unique<QNetworkAccessManager>())
{
}

Protocol::~Protocol() = default;

void Protocol::prepareConnection(const QString &newUserName, const QString &newUserPassword,
                                 const QString &newConfigUrl)
{
    userName = newUserName;
    userPassword = newUserPassword;
    configUrl = newConfigUrl;
}

void Protocol::processReply(QNetworkReply *reply)
{
    Q_UNUSED(reply)
}

void Protocol::tryToConnect()
{
}

void Protocol::tryToDisconect()
{
}
