#include "ui/QSTextDirection.h"

#include <QGuiApplication>

namespace QSTextDirection {

bool interfaceIsRightToLeft()
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft;
}

QString forInterface(const QString &text)
{
    static const QChar kRightToLeftMark(0x200F);
    if (!interfaceIsRightToLeft())
        return text;
    // The first letter with a strong direction decides; digits and punctuation have none.
    for (const QChar c : text) {
        const QChar::Direction direction = c.direction();
        if (direction == QChar::DirL)
            return kRightToLeftMark + text;
        if (direction == QChar::DirR || direction == QChar::DirAL)
            break;
    }
    return text;
}

QString htmlDirection()
{
    return interfaceIsRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

}  // namespace QSTextDirection
