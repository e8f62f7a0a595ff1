#pragma once
// A label that looks clickable (pointing hand while the mouse is over it) but keeps every press to
// itself: no selection, no focus, nothing passed on to the views behind it.

#include <QLabel>

class QSClickableTextField : public QLabel {
    Q_OBJECT
public:
    explicit QSClickableTextField(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
