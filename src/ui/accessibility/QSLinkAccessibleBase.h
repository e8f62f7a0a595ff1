#pragma once
// One link inside a text widget, for screen readers: a leaf with the link role, named by its text,
// its address as the description, value and hyperlink target; Press follows it as a click does and
// SetFocus puts the keyboard on it. What differs between the widgets that hold links (where a link
// is, what following it does) is left to the subclasses.

#include <QAccessible>
#include <QPointer>
#include <QWidget>

class QSLinkAccessibleBase : public QAccessibleInterface,
                             public QAccessibleActionInterface,
                             public QAccessibleHyperlinkInterface {
public:
    explicit QSLinkAccessibleBase(QWidget *owner) : owner_(owner) {}

    bool isValid() const override { return !owner_.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleActionInterface
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    // QAccessibleHyperlinkInterface: the name; anchorTarget, startIndex and endIndex are the link's.
    QString anchor() const override { return text(QAccessible::Name); }

protected:
    QWidget *owner() const { return owner_.data(); }

    // Called only while the interface is valid.
    virtual QString name() const = 0;
    virtual bool isFocusable() const { return true; }
    virtual bool hasKeyboard() const = 0;  // the owner has the focus and it is on this link
    virtual void follow() = 0;             // as a click on the link
    virtual void takeKeyboard() = 0;       // as Tab onto the link

private:
    QPointer<QWidget> owner_;
};
