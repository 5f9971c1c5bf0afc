#pragma once

#include <QPixmap>
#include <QString>

// The main window's flat copy of one server of the service's list, with its measured round trip
// and its flag. A default entry has every text empty and a null picture.
struct ServerEntry {
    QString name;
    QString hostname; // identifies the server everywhere in the window
    QString country_code;
    QString country;
    QString latitude;
    QString longitude;
    QString ovpn; // address of the server's OpenVPN configuration
    QString crt;
    QString image; // address of the flag picture
    QString ping;  // "<number>ms", or "999ms" when the server did not answer
    QPixmap flag;
};

// The number of milliseconds in a round-trip text: the part before the first "ms" read as a
// decimal integer; 0 when that part is not a number (an empty text gives 0 as well).
int pingValue(const QString &pingText);
