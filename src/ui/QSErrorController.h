#pragma once
// The error screen: icon, title, message, subtitle and up to three buttons (Retry, Close, Contact
// Support). It has no logic of its own: the buttons post "START_INSTALLATION", "QUIT_INSTALLATION"
// and "SHOW_CONTACT_SUPPORT_BUTTON", and the window's owner decides what happens.

#include "ui/QSErrorObject.h"

#include <QWidget>

#include <memory>

class QLabel;
class QSButton;
class QSImageView;
class HyperlinkTextField;

namespace Ui {
class QSErrorController;
}

class QSErrorController : public QWidget {
    Q_OBJECT
public:
    explicit QSErrorController(QWidget *parent = nullptr);
    ~QSErrorController() override;

    // Lays the screen out for one record.
    void setErrorObject(const QSErrorObject &error);

    // The elements, for the window's owner and for tests.
    HyperlinkTextField *errorMessage() const;
    HyperlinkTextField *infoText() const;
    QLabel *errorTitle() const;
    QSImageView *errorIcon() const;
    QSButton *retryButton() const;
    QSButton *closeButton() const;
    QSButton *contactSupportButton() const;
    HyperlinkTextField *textView() const { return textView_; }                  // the subtitle
    HyperlinkTextField *mutliLineTextView() const { return mutliLineTextView_; } // the linked message

public slots:
    void onRetryClick();
    void onCLoseClick();
    void onContactSupportClick();

private:
    void awakeFromNib();
    void setupTitle();
    void setupMessage();
    void setupSubTitle();
    void setupContactSupport();
    void setupCloseButton();
    void setupRetryButton();
    void orderTabStops();
    void showButtons(bool retry, bool close, bool contactSupport);

    std::unique_ptr<Ui::QSErrorController> ui_;
    HyperlinkTextField *textView_ = nullptr;
    HyperlinkTextField *mutliLineTextView_ = nullptr;
};
