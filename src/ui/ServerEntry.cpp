#include "ui/ServerEntry.h"

#include <QLatin1String>

int pingValue(const QString &pingText)
{
    // Only the part before the first "ms" counts; the whole text when there is none.
    const int unit = pingText.indexOf(QLatin1String("ms"));
    return (unit < 0 ? pingText : pingText.left(unit)).toInt(nullptr, 10);
}
