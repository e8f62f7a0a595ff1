#include "ui/widgets/HyperlinkTextField.h"

#include "platform/Host.h"
#include "ui/accessibility/QSAccessibility.h"
#include "ui/accessibility/QSLinkTextAccessible.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

HyperlinkTextField::HyperlinkTextField(QWidget *parent)
    : QSWrappingLabel(parent)
{
    setWordWrap(true);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QLabel::linkActivated, this, &HyperlinkTextField::openLink);
}

void HyperlinkTextField::setAttributedText(const QSAttributedString &text)
{
    attributed_ = text;
    hasAttributed_ = true;
    render();
}

void HyperlinkTextField::setPlainText(const QString &text)
{
    attributed_ = QSAttributedString();
    hasAttributed_ = false;
    setFont(QFont());  // the inherited font again, not the last attributed text's
    setTextFormat(Qt::PlainText);
    setText(text);
    QSLinkTextAccessible::textChanged(this);
}

void HyperlinkTextField::setLinkAppearance(const std::optional<QSLinkAppearance> &appearance)
{
    linkAppearance_ = appearance;
    if (hasAttributed_)
        render();
}

void HyperlinkTextField::render()
{
    if (const auto font = attributed_.leadingFont())
        setFont(*font);
    setTextFormat(Qt::RichText);
    setText(attributed_.toHtml(linkAppearance_));
    // Keyboard users can reach the links with Tab only when there are some.
    setFocusPolicy(attributed_.links().isEmpty() ? Qt::NoFocus : Qt::TabFocus);
    QSLinkTextAccessible::textChanged(this);
}

QString HyperlinkTextField::spokenText() const
{
    return hasAttributed_ ? attributed_.string() : text();
}

void HyperlinkTextField::activateLink(qsizetype index)
{
    const QList<QSAttributedString::Link> links = attributed_.links();
    if (index >= 0 && index < links.size())
        openLink(QString::fromUtf8(links.at(index).url.toEncoded()));
}

void HyperlinkTextField::focusLink(qsizetype index)
{
    const QList<QSAttributedString::Link> links = attributed_.links();
    if (index < 0 || index >= links.size() || focusPolicy() == Qt::NoFocus)
        return;
    setFocus(Qt::OtherFocusReason);
    setSelection(int(links.at(index).start), int(links.at(index).length));
    QSAccessibility::announceFocusedChild(this);
}

qsizetype HyperlinkTextField::focusedLink() const
{
    if (!hasSelectedText())
        return -1;
    const qsizetype start = selectionStart();
    const QList<QSAttributedString::Link> links = attributed_.links();
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (start >= links.at(i).start && start < links.at(i).start + links.at(i).length)
            return i;
    }
    return -1;
}

void HyperlinkTextField::setDrawsBackground(bool draws, const QColor &color, qreal radius)
{
    drawsBackground_ = draws;
    background_ = color;
    backgroundRadius_ = radius;
    update();
}

void HyperlinkTextField::openLink(const QString &link)
{
    const QUrl url(link);
    if (!url.isValid())
        return;
    platform::host().openUrl(url);
    emit linkOpened(url);
}

template<typename Handler>
void HyperlinkTextField::withClampedPosition(QMouseEvent *event, Handler handler)
{
    if (maxPointY_ == 0 || event->position().y() <= maxPointY_) {
        handler(event);
        return;
    }
    QPointF local = event->position();
    local.setY(maxPointY_);
    const QPointF global = mapToGlobal(local);
    QMouseEvent lowered(event->type(), local, local, global, event->button(), event->buttons(),
                        event->modifiers(), event->pointingDevice());
    handler(&lowered);
    event->setAccepted(lowered.isAccepted());
}

void HyperlinkTextField::mousePressEvent(QMouseEvent *event)
{
    withClampedPosition(event, [this](QMouseEvent *e) { QLabel::mousePressEvent(e); });
}

void HyperlinkTextField::mouseMoveEvent(QMouseEvent *event)
{
    withClampedPosition(event, [this](QMouseEvent *e) { QLabel::mouseMoveEvent(e); });
}

void HyperlinkTextField::mouseReleaseEvent(QMouseEvent *event)
{
    withClampedPosition(event, [this](QMouseEvent *e) { QLabel::mouseReleaseEvent(e); });
}

void HyperlinkTextField::focusInEvent(QFocusEvent *event)
{
    QLabel::focusInEvent(event);
    // QLabel takes Tab focus itself first and reaches its links only with further Tabs, so a
    // person would press Tab once for nothing visible. Land on the first (or, going backwards, the
    // last) link instead. Each step below finds a link, so the focus never leaves the field here.
    const qsizetype links = attributed_.links().size();
    const bool forward = event->reason() == Qt::TabFocusReason;
    if (links > 0 && (forward || event->reason() == Qt::BacktabFocusReason)) {
        setSelection(0, 0);
        for (qsizetype step = 0; step < (forward ? 1 : links); ++step)
            QLabel::focusNextPrevChild(true);
    }
    // Qt tells screen readers that the whole field has the focus once this handler has returned;
    // the link (also the one the focus comes back to with its window) is told after that, or the
    // reader would read the sentence instead of the link.
    QMetaObject::invokeMethod(this, [this] {
        if (hasFocus())
            QSAccessibility::announceFocusedChild(this);
    }, Qt::QueuedConnection);
}

bool HyperlinkTextField::focusNextPrevChild(bool next)
{
    // Tab between the links of the field: the reader hears the link it lands on.
    const bool moved = QLabel::focusNextPrevChild(next);
    if (moved && hasFocus())
        QSAccessibility::announceFocusedChild(this);
    return moved;
}

void HyperlinkTextField::keyPressEvent(QKeyEvent *event)
{
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (returnKey && hasSelectedText()) {
        // The selection is the focused link's text: open the link it starts in.
        if (const qsizetype link = focusedLink(); link >= 0) {
            event->accept();
            if (!event->isAutoRepeat())
                activateLink(link);
            return;
        }
    }
    QLabel::keyPressEvent(event);
}

void HyperlinkTextField::paintEvent(QPaintEvent *event)
{
    if (drawsBackground_) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(background_);
        painter.drawRoundedRect(QRectF(rect()), backgroundRadius_, backgroundRadius_);
    }
    QLabel::paintEvent(event);
}
