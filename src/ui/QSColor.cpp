#include "ui/QSColor.h"

#include <QList>

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The value of the leading hexadecimal digits of a pair; nullopt when the first is none.
std::optional<int> scanPair(QStringView pair)
{
    int value = 0;
    int digits = 0;
    for (QChar c : pair) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

}  // namespace

namespace QSColor {

std::optional<QColor> colorWithHex(const QString &hex)
{
    QString digits = hex;
    digits.remove(QLatin1Char('#'));
    if (digits.size() != 3 && digits.size() != 6)
        return std::nullopt;
    if (digits.size() == 3) {
        QString doubled;
        for (QChar c : std::as_const(digits))
            doubled += QString(2, c);
        digits = doubled;
    }

    QList<double> components;
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        if (const auto value = scanPair(QStringView(digits).mid(i, 2)))
            components.append(*value / 255.0);
    }
    while (components.size() < 3)
        components.append(0.0);
    return QColor::fromRgbF(float(components[0]), float(components[1]), float(components[2]), 1.0f);
}

QColor hex(const QString &text)
{
    return colorWithHex(text).value_or(QColor(Qt::black));
}

}  // namespace QSColor
