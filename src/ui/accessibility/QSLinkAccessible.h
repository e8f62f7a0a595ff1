#pragma once
// One link of a HyperlinkTextField for screen readers: the link role, a name that says where it
// goes, its address as the description and as the hyperlink target, and the Press action that
// opens it as a click does (SetFocus puts the keyboard on it, where Return opens it).

#include "ui/accessibility/QSLinkAccessibleBase.h"

class HyperlinkTextField;

class QSLinkAccessible : public QSLinkAccessibleBase {
public:
    QSLinkAccessible(HyperlinkTextField *field, int index);

    bool isValid() const override;
    QRect rect() const override;

    // QAccessibleHyperlinkInterface
    QString anchorTarget() const override;
    int startIndex() const override;
    int endIndex() const override;

protected:
    QString name() const override;
    bool isFocusable() const override;
    bool hasKeyboard() const override;
    void follow() override;
    void takeKeyboard() override;

private:
    HyperlinkTextField *field() const;

    int index_;
};
