#pragma once
// The status line under the progress bar ("Installing Corvala…", "Welcome to Brightmoor!"). A
// label that tells screen readers about every change of its text: it is a status bar to them, and
// a new status is heard without the person moving anywhere.

#include <QLabel>

class QSStatusLine : public QLabel {
    Q_OBJECT
public:
    explicit QSStatusLine(QWidget *parent = nullptr);

    // Shows the text and, when it differs from the shown one, announces it.
    void setStatus(const QString &text);
    // The text without the direction marks that only steer the layout.
    QString spokenText() const;
};
