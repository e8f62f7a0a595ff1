#pragma once
// One link of a read-only document (QSDocumentAccessible) for screen readers: the link role, named
// by its text, its address as the description and hyperlink target, Press that follows it as a
// click does, and SetFocus that selects it as Tab does (Return then follows it).

#include <QAccessible>
#include <QPointer>
#include <QTextBrowser>

class QSDocumentLinkAccessible : public QAccessibleInterface,
                                 public QAccessibleActionInterface,
                                 public QAccessibleHyperlinkInterface {
public:
    // The link covers the document's positions [start, start + length).
    QSDocumentLinkAccessible(QTextBrowser *browser, int start, int length, const QString &name, const QString &href);

    bool isValid() const override { return !browser_.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleActionInterface
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    // QAccessibleHyperlinkInterface
    QString anchor() const override { return name_; }
    QString anchorTarget() const override;
    int startIndex() const override { return start_; }
    int endIndex() const override { return start_ + length_; }

    // Whether the browser's selection is this link (where Tab leaves it).
    bool isSelected() const;

private:
    QPointer<QTextBrowser> browser_;
    int start_;
    int length_;
    QString name_;
    QString href_;
};
