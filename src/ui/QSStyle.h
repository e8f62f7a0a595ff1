#pragma once
// Small helpers that give plain Qt widgets the colours of the screens.

#include <QColor>
#include <QPalette>
#include <QWidget>

// The colour a label or text widget draws its text in.
inline void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

// A plain filled background behind the widget.
inline void setBackgroundColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
