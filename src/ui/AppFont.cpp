#include "ui/AppFont.h"

#include <QFontDatabase>

namespace harbolink::ui {

QFont quicksandFont()
{
    static const int registered =
        QFontDatabase::addApplicationFont(QStringLiteral(":/resources/common/fonts/Quicksand-Regular.ttf"));
    Q_UNUSED(registered)
    return QFont(QStringLiteral("Quicksand Medium"), 12, 3, false);
}

} // namespace harbolink::ui
