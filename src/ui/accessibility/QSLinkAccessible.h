#pragma once
// One link of a HyperlinkTextField for screen readers: the link role, a name that says where it
// goes, its address as the description and as the hyperlink target, and the Press action that
// opens it as a click does (SetFocus puts the keyboard on it, where Return opens it).

#include <QAccessible>
#include <QPointer>

class HyperlinkTextField;

class QSLinkAccessible : public QAccessibleInterface,
                         public QAccessibleActionInterface,
                         public QAccessibleHyperlinkInterface {
public:
    QSLinkAccessible(HyperlinkTextField *field, int index);

    bool isValid() const override;
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
    QString anchor() const override;
    QString anchorTarget() const override;
    int startIndex() const override;
    int endIndex() const override;

private:
    QPointer<HyperlinkTextField> field_;
    int index_;
};
