#pragma once
// A push button drawn by the installer itself: a filled shape with a corner radius and an optional
// border (the "layer"), and a title in its own font and colour. It shows the pointing-hand cursor
// while the mouse is over it, and a focus ring when reached with the keyboard. Return and Enter press
// it while it has the keyboard focus, as Space does.

#include <QColor>
#include <QPushButton>

class QSHoverButton : public QPushButton {
    Q_OBJECT
public:
    explicit QSHoverButton(QWidget *parent = nullptr);

    void setLayerBackgroundColor(const QColor &color);
    QColor layerBackgroundColor() const { return background_; }
    void setLayerBorderColor(const QColor &color);
    QColor layerBorderColor() const { return border_; }
    void setLayerBorderWidth(qreal width);
    qreal layerBorderWidth() const { return borderWidth_; }
    // Limited to half the button's height when drawn, which makes a pill.
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return radius_; }

    // The title with this font and colour over its whole length.
    void setTitleAttributes(const QFont &font, const QColor &color);
    QColor titleColor() const { return titleColor_; }

    // Shows the keyboard ring while the button has the focus, as if Tab had brought it there.
    void setFocusRingShown(bool shown);
    bool focusRingShown() const { return focusFromKeyboard_; }

    static constexpr qreal kRingWidth = 2;
    static constexpr qreal kRingInset = 4;  // from the button's edge to the ring's middle

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool focusFromKeyboard_ = false;
    QColor background_ = Qt::transparent;
    QColor border_ = Qt::transparent;
    qreal borderWidth_ = 0;
    qreal radius_ = 0;
    QColor titleColor_ = Qt::black;
};
