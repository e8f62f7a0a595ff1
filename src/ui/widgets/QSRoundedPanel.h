#pragma once
// A plain view with a drawn background: fill colour, corner radius and an optional border. The
// layouts use it for bands, cards and the alert's body.

#include <QColor>
#include <QWidget>

class QSRoundedPanel : public QWidget {
    Q_OBJECT
public:
    explicit QSRoundedPanel(QWidget *parent = nullptr);

    void setBackgroundColor(const QColor &color);
    QColor backgroundColor() const { return background_; }
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return radius_; }
    void setBorder(const QColor &color, qreal width);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor background_ = Qt::transparent;
    QColor border_ = Qt::transparent;
    qreal borderWidth_ = 0;
    qreal radius_ = 0;
};
