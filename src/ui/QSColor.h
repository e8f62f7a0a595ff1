#pragma once
// Colours of the screens are written as hexadecimal texts ("#2F3034"); this turns them into colours.

#include <QColor>
#include <QString>

#include <optional>

namespace QSColor {

// "#RRGGBB" or "#RGB" (any number of '#', upper or lower case) -> opaque sRGB colour; no colour for
// any other length. Pairs are read like a hexadecimal scanner reads them: a pair yields the value of
// its leading hexadecimal digits, a pair that does not start with one yields nothing and the
// following components move up by one; missing components are 0.
std::optional<QColor> colorWithHex(const QString &hex);

// colorWithHex for the fixed palette texts of the code, where a bad text is a programming error:
// falls back to black instead of an absent colour.
QColor hex(const QString &text);

}  // namespace QSColor
