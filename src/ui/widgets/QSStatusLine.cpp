#include "ui/widgets/QSStatusLine.h"

#include <QAccessible>

QSStatusLine::QSStatusLine(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void QSStatusLine::setStatus(const QString &text)
{
    if (text == this->text())
        return;
    const QString before = spokenText();
    setText(text);  // QLabel reports the name change itself
    // Only the direction marks changed: nothing new to read out.
    if (!QAccessible::isActive() || spokenText() == before)
        return;
    // The text interface's change: what screen readers read out for a status bar.
    QAccessibleTextUpdateEvent event(this, 0, before, spokenText());
    QAccessible::updateAccessibility(&event);
}

QString QSStatusLine::spokenText() const
{
    QString spoken = text();
    spoken.remove(QChar(0x200E)).remove(QChar(0x200F));
    return spoken;
}
