#pragma once
// Read-only text whose link runs open their address in the user's browser when clicked. Qt's rich
// text engine does the hit testing (a link that wraps is one link on both lines) and shows the
// pointing hand over links. The text can be neither edited nor selected. With the keyboard, Tab
// into the field lands on its first link (Shift+Tab on its last), Tab moves from link to link, and
// Return or Enter opens the link that has the focus.

#include "ui/QSAttributedString.h"
#include "ui/widgets/QSWrappingLabel.h"

#include <QColor>
#include <QLabel>

#include <optional>

class HyperlinkTextField : public QSWrappingLabel {
    Q_OBJECT
public:
    explicit HyperlinkTextField(QWidget *parent = nullptr);

    void setAttributedText(const QSAttributedString &text);
    const QSAttributedString &attributedText() const { return attributed_; }
    // Plain text, never read as markup.
    void setPlainText(const QString &text);

    // How link runs are drawn, replacing their own look; nullopt: as the runs say.
    void setLinkAppearance(const std::optional<QSLinkAppearance> &appearance);

    // Clicks lower than maxPointY (from the top) count as clicks at that height; 0: no limit.
    void setMaxPointY(qreal y) { maxPointY_ = y; }
    qreal maxPointY() const { return maxPointY_; }

    // Draws a background of its own behind the text (rounded when radius > 0).
    void setDrawsBackground(bool draws, const QColor &color = Qt::white, qreal radius = 0);
    bool drawsBackground() const { return drawsBackground_; }

    // The link runs of the current text (empty when it holds none).
    QList<QSAttributedString::Link> hyperlinks() const { return attributed_.links(); }
    // Opens the link as a click on it does.
    void activateLink(qsizetype index);
    // Puts the keyboard on the link, where Return opens it.
    void focusLink(qsizetype index);
    // The link the keyboard is on; -1: none.
    qsizetype focusedLink() const;
    // The text as it is read, without markup.
    QString spokenText() const;

signals:
    // After the link's address was handed to the system.
    void linkOpened(const QUrl &url);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void render();
    void openLink(const QString &link);
    // The event itself, or a copy lowered to maxPointY.
    template<typename Handler>
    void withClampedPosition(QMouseEvent *event, Handler handler);

    QSAttributedString attributed_;
    bool hasAttributed_ = false;
    std::optional<QSLinkAppearance> linkAppearance_;
    qreal maxPointY_ = 0;
    bool drawsBackground_ = false;
    QColor background_ = Qt::white;
    qreal backgroundRadius_ = 0;
};
