#pragma once

#include <QString>

namespace harbolink::test {

// The certificate authority and server certificate made for this test build.
inline QString pkiDir()
{
    return QStringLiteral(HARBOLINK_TEST_PKI_DIR);
}
inline QString sourceDir()
{
    return QStringLiteral(HARBOLINK_SOURCE_DIR);
}
inline QString binaryDir()
{
    return QStringLiteral(HARBOLINK_BINARY_DIR);
}

} // namespace harbolink::test
