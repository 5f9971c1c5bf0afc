#pragma once
// What the local demo service knows: its accounts, its servers and the pictures of their flags.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace harbolink::demo {

struct Account {
    QString email;
    QString password;
    bool mayConnect;
    QString message;
};

struct Server {
    QString name;
    QString hostname; // a loopback address of its own, so that it answers pings
    QString countryCode;
    QString country;
    QString latitude;
    QString longitude;
};

const QVector<Account> &accounts();
const QVector<Server> &servers();

// The flag of a country code of the list as a PNG picture (empty for an unknown code).
QByteArray flagPng(const QString &countryCode);

} // namespace harbolink::demo
