#include "ui/widgets/QSWrappingLabel.h"

#include <QEvent>

bool QSWrappingLabel::Shape::operator==(const Shape &other) const
{
    return text == other.text && font == other.font && contentsMargins == other.contentsMargins
           && margin == other.margin && indent == other.indent && wordWrap == other.wordWrap
           && format == other.format && alignment == other.alignment;
}

QSWrappingLabel::QSWrappingLabel(QWidget *parent)
    : QLabel(parent)
{
}

QSWrappingLabel::Shape QSWrappingLabel::currentShape() const
{
    return Shape{text(), font(), contentsMargins(), margin(), indent(), wordWrap(), textFormat(), alignment()};
}

void QSWrappingLabel::forgetHeights() const
{
    answers_.fill(Answer{});
    nextAnswer_ = 0;
}

int QSWrappingLabel::heightForWidth(int width) const
{
    Shape shape = currentShape();
    if (!(shape == shape_)) {
        shape_ = std::move(shape);
        forgetHeights();
    }
    for (const Answer &answer : answers_) {
        if (answer.width == width)
            return answer.height;
    }
    const int height = QLabel::heightForWidth(width);
    answers_[nextAnswer_] = Answer{width, height};
    nextAnswer_ = (nextAnswer_ + 1) % answers_.size();
    return height;
}

void QSWrappingLabel::changeEvent(QEvent *event)
{
    // A new style can change the text's layout without changing anything the shape holds.
    if (event->type() == QEvent::StyleChange)
        forgetHeights();
    QLabel::changeEvent(event);
}
