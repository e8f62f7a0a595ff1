#pragma once
// A label that wraps its text and remembers the heights it gave for the last widths asked. While a
// window is laid out, nested box layouts ask each wrapping label for its height at the same few
// widths again and again (a few hundred times for the welcome screen), and QLabel lays its text out
// anew for every answer. The answers are kept while the text and everything that shapes it (font,
// margins, indent, wrapping, format) stay as they were.

#include <QFont>
#include <QLabel>
#include <QMargins>
#include <QString>

#include <array>

class QSWrappingLabel : public QLabel {
public:
    explicit QSWrappingLabel(QWidget *parent = nullptr);

    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    // What the text's layout depends on besides the width.
    struct Shape {
        QString text;
        QFont font;
        QMargins contentsMargins;
        int margin = 0;
        int indent = 0;
        bool wordWrap = false;
        Qt::TextFormat format = Qt::AutoText;
        Qt::Alignment alignment;
        bool operator==(const Shape &other) const;
    };
    struct Answer {
        int width = -1;
        int height = 0;
    };

    Shape currentShape() const;
    void forgetHeights() const;

    mutable Shape shape_;
    mutable std::array<Answer, 4> answers_;
    mutable std::size_t nextAnswer_ = 0;
};
