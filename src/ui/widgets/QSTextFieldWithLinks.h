#pragma once
// A plain label that the layouts name for texts that sit beside links; it draws exactly like
// QLabel.

#include <QLabel>

class QSTextFieldWithLinks : public QLabel {
    Q_OBJECT
public:
    explicit QSTextFieldWithLinks(QWidget *parent = nullptr);
};
