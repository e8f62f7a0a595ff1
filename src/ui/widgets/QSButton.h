#pragma once
// A button that dims while it is held down: background and border take an alpha of 0.7 (replaced,
// not multiplied) from the press until the release, then get their own colours back.

#include "ui/widgets/QSHoverButton.h"

#include <optional>

class QSButton : public QSHoverButton {
    Q_OBJECT
public:
    explicit QSButton(QWidget *parent = nullptr);

    static constexpr float kPressedAlpha = 0.7f;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void restoreLook();

    struct SavedLook {
        QColor background;
        QColor border;
    };
    std::optional<SavedLook> saved_;
};
