#pragma once
// One link of a read-only document (QSDocumentAccessible) for screen readers: the link role, named
// by its text, its address as the description and hyperlink target, Press that follows it as a
// click does, and SetFocus that selects it as Tab does (Return then follows it).

#include "ui/accessibility/QSLinkAccessibleBase.h"

#include <QTextBrowser>

class QSDocumentLinkAccessible : public QSLinkAccessibleBase {
public:
    // The link covers the document's positions [start, start + length).
    QSDocumentLinkAccessible(QTextBrowser *browser, int start, int length, const QString &name, const QString &href);

    QRect rect() const override;

    // QAccessibleHyperlinkInterface
    QString anchorTarget() const override;
    int startIndex() const override { return start_; }
    int endIndex() const override { return start_ + length_; }

    // Whether the browser's selection is this link (where Tab leaves it).
    bool isSelected() const;

protected:
    QString name() const override { return name_; }
    bool hasKeyboard() const override;
    void follow() override;
    void takeKeyboard() override;

private:
    QTextBrowser *browser() const;

    int start_;
    int length_;
    QString name_;
    QString href_;
};
