#pragma once
// Text made of runs that each carry a font, a colour and optionally a link; paragraph alignment and
// a maximum line height apply to the whole text. Screens build these and hand them to the rich
// text widgets, which draw them through Qt's rich-text engine.

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

struct QSTextRun {
    QString text;
    QFont font;
    QColor color;
    QUrl link;              // empty: a plain run
    bool underline = false;
    QColor underlineColor;  // invalid: the text colour; alpha 0: no visible underline
    QString spokenName;     // what a screen reader calls the link; empty: its text
};

// How a view draws the link runs of its text; it replaces what the runs say about themselves.
struct QSLinkAppearance {
    QColor color;
    bool underline = true;
    QColor underlineColor;     // alpha 0: the underline is invisible
    std::optional<QFont> font; // keep the run's own font when absent
};

enum class QSTextAlignment {
    Natural,  // follows the writing direction of the text
    Left,
    Center,
    Right,
};

class QSAttributedString {
public:
    struct Link {
        qsizetype start = 0;
        qsizetype length = 0;
        QUrl url;
        QString name;  // says where the link goes (the run's text unless it was given a spoken name)
    };

    QSAttributedString() = default;
    // One plain run.
    QSAttributedString(const QString &text, const QFont &font, const QColor &color);

    QSAttributedString &append(const QSTextRun &run);
    QSAttributedString &appendPlain(const QString &text, const QFont &font, const QColor &color);
    // spokenName: for a text that does not say where the link goes ("click here").
    QSAttributedString &appendLink(const QString &text, const QUrl &url, const QFont &font,
                                   const QColor &color, const QColor &underlineColor,
                                   const QString &spokenName = {});

    void setAlignment(QSTextAlignment alignment) { alignment_ = alignment; }
    QSTextAlignment alignment() const { return alignment_; }
    // 0: no limit
    void setMaximumLineHeight(qreal height) { maximumLineHeight_ = height; }
    qreal maximumLineHeight() const { return maximumLineHeight_; }
    // Sets the colour of every run.
    void setColor(const QColor &color);

    QString string() const;
    bool isEmpty() const { return string().isEmpty(); }
    const QList<QSTextRun> &runs() const { return runs_; }
    // Every link run with its character range in string().
    QList<Link> links() const;

    // The font a view showing this text should have as its own: the first run's. The document
    // built from toHtml() starts from the view's font, and each face and size that differs from
    // the runs' costs the font database another face to load.
    std::optional<QFont> leadingFont() const;
    // Qt rich text (a subset of HTML) for QLabel and QTextDocument; every text is escaped.
    QString toHtml(const std::optional<QSLinkAppearance> &linkAppearance = std::nullopt) const;

private:
    QList<QSTextRun> runs_;
    QSTextAlignment alignment_ = QSTextAlignment::Natural;
    qreal maximumLineHeight_ = 0;
};
