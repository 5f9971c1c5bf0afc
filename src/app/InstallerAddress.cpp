#include "app/InstallerAddress.h"

#include "api/ServiceRequest.h"
#include "app/Constants.h"

namespace harbolink {

QString installerAddress(const QString &domain)
{
    const QString site = domain.mid(domainPrefixLength);
    return QStringLiteral("https://") + installerHost() + QString::fromLatin1(installerPathTemplate).arg(site, site);
}

} // namespace harbolink
