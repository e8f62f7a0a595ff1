#include "ui/QSAttributedString.h"

#include "ui/QSFonts.h"
#include "ui/QSTextDirection.h"

#include <QFontMetricsF>

namespace {

QString cssColor(const QColor &color)
{
    if (color.alpha() == 255)
        return color.name(QColor::HexRgb);
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

QString escapedWithBreaks(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return html;
}

QString alignmentCss(QSTextAlignment alignment)
{
    switch (alignment) {
    case QSTextAlignment::Left:
        return QStringLiteral(" text-align:left;");
    case QSTextAlignment::Center:
        return QStringLiteral(" text-align:center;");
    case QSTextAlignment::Right:
        return QStringLiteral(" text-align:right;");
    case QSTextAlignment::Natural:
        break;
    }
    return {};
}

}  // namespace

QSAttributedString::QSAttributedString(const QString &text, const QFont &font, const QColor &color)
{
    appendPlain(text, font, color);
}

QSAttributedString &QSAttributedString::append(const QSTextRun &run)
{
    runs_.append(run);
    return *this;
}

QSAttributedString &QSAttributedString::appendPlain(const QString &text, const QFont &font,
                                                    const QColor &color)
{
    return append(QSTextRun{text, font, color, QUrl(), false, QColor(), QString()});
}

QSAttributedString &QSAttributedString::appendLink(const QString &text, const QUrl &url,
                                                   const QFont &font, const QColor &color,
                                                   const QColor &underlineColor, const QString &spokenName)
{
    return append(QSTextRun{text, font, color, url, true, underlineColor, spokenName});
}

void QSAttributedString::setColor(const QColor &color)
{
    for (QSTextRun &run : runs_)
        run.color = color;
}

QString QSAttributedString::string() const
{
    QString text;
    for (const QSTextRun &run : runs_)
        text += run.text;
    return text;
}

std::optional<QFont> QSAttributedString::leadingFont() const
{
    for (const QSTextRun &run : runs_) {
        if (!run.text.isEmpty())
            return run.font;
    }
    return std::nullopt;
}

QList<QSAttributedString::Link> QSAttributedString::links() const
{
    QList<Link> result;
    qsizetype position = 0;
    for (const QSTextRun &run : runs_) {
        if (!run.link.isEmpty() && !run.text.isEmpty())
            result.append(Link{position, run.text.size(), run.link,
                               run.spokenName.isEmpty() ? run.text.trimmed() : run.spokenName});
        position += run.text.size();
    }
    return result;
}

QString QSAttributedString::toHtml(const std::optional<QSLinkAppearance> &linkAppearance) const
{
    QString paragraphStyle = QStringLiteral("margin:0px;") + alignmentCss(alignment_);
    if (maximumLineHeight_ > 0) {
        // A maximum: lines keep their natural height when that is smaller.
        qreal natural = 0;
        for (const QSTextRun &run : runs_)
            natural = qMax(natural, QFontMetricsF(run.font).lineSpacing());
        const qreal height = natural > 0 ? qMin(natural, maximumLineHeight_) : maximumLineHeight_;
        paragraphStyle += QStringLiteral(" line-height:%1px; -qt-line-height-type:fixed;").arg(qRound(height));
    }

    QString body;
    for (const QSTextRun &run : runs_) {
        if (run.text.isEmpty())
            continue;
        const bool isLink = !run.link.isEmpty();
        QFont font = run.font;
        QColor color = run.color;
        bool underline = run.underline;
        QColor underlineColor = run.underlineColor.isValid() ? run.underlineColor : run.color;
        if (isLink && linkAppearance) {
            color = linkAppearance->color;
            underline = linkAppearance->underline;
            underlineColor = linkAppearance->underlineColor.isValid() ? linkAppearance->underlineColor : color;
            if (linkAppearance->font)
                font = *linkAppearance->font;
        }
        QString style = QSFonts::css(font) + QStringLiteral(" color:%1;").arg(cssColor(color));
        if (underline && underlineColor.alpha() > 0)
            style += QStringLiteral(" text-decoration:underline; text-decoration-color:%1;").arg(cssColor(underlineColor));
        else
            style += QStringLiteral(" text-decoration:none;");

        const QString text = escapedWithBreaks(run.text);
        if (isLink) {
            body += QStringLiteral("<a href=\"%1\" style=\"%2\">%3</a>")
                        .arg(QString::fromUtf8(run.link.toEncoded()).toHtmlEscaped(), style, text);
        } else {
            body += QStringLiteral("<span style=\"%1\">%2</span>").arg(style, text);
        }
    }
    // The paragraph reads in the interface's direction even when its first word is a Latin one.
    return QStringLiteral("<p dir=\"%1\" style=\"%2\">%3</p>").arg(QSTextDirection::htmlDirection(), paragraphStyle, body);
}
