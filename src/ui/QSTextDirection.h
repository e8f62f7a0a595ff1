#pragma once
// Right-to-left texts that begin with a Latin word ("Corvala בהתקנה…"). Qt takes a paragraph's
// direction from its first letter unless told otherwise, so such a text would be laid out left to
// right, with its full stop or ellipsis on the wrong side. The screens give these texts their
// direction explicitly.

#include <QString>

namespace QSTextDirection {

// Whether the interface reads right to left (the application's layout direction).
bool interfaceIsRightToLeft();

// The text as the interface should lay it out: in a right-to-left interface a text whose first
// letter is left-to-right gets a right-to-left mark in front; anything else is returned unchanged.
QString forInterface(const QString &text);

// The rich-text "dir" value of the interface's direction: "rtl" or "ltr".
QString htmlDirection();

}  // namespace QSTextDirection
