#include "ui/QSRemovalController.h"

#include "config/QSConfigProvider.h"
#include "platform/Localization.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "ui/QSStyle.h"
#include "ui/QSTextDirection.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSRoundedPanel.h"
#include "ui/widgets/QSSpinner.h"
#include "ui/widgets/QSWrappingLabel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kDark = QStringLiteral("#2F3034");
const QString kGrey = QStringLiteral("#6C7078");
const QString kSoftRed = QStringLiteral("#FFF0F0");
// A running product is looked for again this often while the confirmation shows, so the warning
// goes as soon as the person quits it.
constexpr int kRunningPollMs = 1000;

QSWrappingLabel *wrappingLabel(QWidget *parent, const QFont &font, const QString &color)
{
    auto *label = new QSWrappingLabel(parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    setTextColor(label, QSColor::hex(color));
    return label;
}

QSButton *button(QWidget *parent, const QString &titleColor, const QString &background)
{
    auto *made = new QSButton(parent);
    made->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 12), QSColor::hex(titleColor));
    made->setCornerRadius(20);
    made->setLayerBackgroundColor(QSColor::hex(background));
    made->setMinimumSize(160, 40);
    made->setFocusPolicy(Qt::StrongFocus);
    return made;
}

}  // namespace

QSRemovalController::QSRemovalController(QWidget *parent)
    : QWidget(parent), removal_(new QSRemoval(this)), runningPoll_(new QTimer(this))
{
    buildLayout();
    connect(removal_, &QSRemoval::finished, this, &QSRemovalController::showOutcome);
    connect(runningPoll_, &QTimer::timeout, this, &QSRemovalController::updateRunningWarning);
    runningPoll_->start(kRunningPollMs);
    showConfirmation();
    // The records go where any run's go: the configuration names the addresses.
    removal_->loadAddresses();
}

QSRemovalController::~QSRemovalController() = default;

QString QSRemovalController::withName(const char *key) const
{
    // A Hebrew text that begins with the product's Latin name still reads right to left.
    return QSTextDirection::forInterface(platform::localizedString(key).replace(QStringLiteral("%@"), removal_->productName()));
}

void QSRemovalController::buildLayout()
{
    setObjectName(QStringLiteral("removalView"));
    if (const auto background = QSColor::colorWithHex(QSConfigProvider::getStringFromPlist(QStringLiteral("BG_COLOR"))))
        setBackgroundColor(this, *background);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(120, 80, 120, 60);
    column->setSpacing(24);

    title_ = new QLabel(this);
    title_->setWordWrap(true);
    title_->setAlignment(Qt::AlignCenter);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 36));
    setTextColor(title_, QSColor::hex(kDark));
    column->addStretch(1);
    column->addWidget(title_);

    card_ = new QSRoundedPanel(this);
    card_->setBackgroundColor(Qt::white);
    card_->setCornerRadius(14);
    auto *cardColumn = new QVBoxLayout(card_);
    cardColumn->setContentsMargins(32, 24, 32, 24);
    cardColumn->setSpacing(12);
    message_ = wrappingLabel(card_, QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), kGrey);
    details_ = wrappingLabel(card_, QSFonts::font(QStringLiteral("CommonSans-Regular"), 12), kDark);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cardColumn->addWidget(message_);
    cardColumn->addWidget(details_);
    column->addWidget(card_);

    runningBand_ = new QSRoundedPanel(this);
    runningBand_->setBackgroundColor(QSColor::hex(kSoftRed));
    runningBand_->setCornerRadius(14);
    auto *bandColumn = new QVBoxLayout(runningBand_);
    bandColumn->setContentsMargins(24, 12, 24, 12);
    running_ = wrappingLabel(runningBand_, QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 14), kDark);
    running_->setAccessibleName(QString());
    bandColumn->addWidget(running_);
    column->addWidget(runningBand_);

    spinner_ = new QSSpinner(this);
    column->addWidget(spinner_, 0, Qt::AlignHCenter);

    // The row mirrors for right to left, and Tab follows it: Cancel, then the primary button.
    auto *row = new QHBoxLayout;
    row->setSpacing(16);
    row->addStretch(1);
    cancel_ = button(this, kDark, kSoftRed);
    cancel_->setText(platform::localizedString("QSRemoveCancel"));
    primary_ = button(this, QStringLiteral("#FFFFFF"), kDark);
    row->addWidget(cancel_);
    row->addWidget(primary_);
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    setTabOrder(cancel_, primary_);

    connect(cancel_, &QPushButton::clicked, this, &QSRemovalController::onCloseClick);
    connect(primary_, &QPushButton::clicked, this, [this] {
        if (screen_ == Screen::Confirm)
            onRemoveClick();
        else
            onCloseClick();
    });
}

void QSRemovalController::showConfirmation()
{
    screen_ = Screen::Confirm;
    title_->setText(withName("QSRemoveTitle"));
    message_->setText(withName("QSRemoveMessage"));
    details_->hide();
    spinner_->hide();
    primary_->setText(platform::localizedString("QSRemoveButton"));
    cancel_->show();
    setAccessibleName(title_->text());
    updateRunningWarning();
}

void QSRemovalController::updateRunningWarning()
{
    const bool running = screen_ == Screen::Confirm && removal_->isProductRunning();
    if (running) {
        running_->setText(withName("QSRemoveRunning"));
        running_->setAccessibleName(running_->text());
    }
    runningBand_->setVisible(running);
    if (screen_ != Screen::Confirm)
        runningPoll_->stop();
}

void QSRemovalController::onRemoveClick()
{
    if (screen_ != Screen::Confirm)
        return;
    screen_ = Screen::Working;
    updateRunningWarning();
    title_->setText(withName("QSRemoveWorking"));
    message_->setText(removal_->needsAuthorisation() ? withName("QSRemoveAuthorisation") : removal_->bundlePath());
    cancel_->hide();
    primary_->hide();
    spinner_->show();
    spinner_->startRefreshAnimation();
    setFocus(Qt::OtherFocusReason);
    removal_->start();
}

void QSRemovalController::showOutcome(const QSRemoval::Result &result)
{
    screen_ = Screen::Outcome;
    spinner_->hide();
    const char *titleKey = "QSRemoveFailedTitle";
    const char *messageKey = "QSRemoveFailedMessage";
    switch (result.outcome) {
    case QSRemoval::Outcome::Removed: titleKey = "QSRemovedTitle"; messageKey = "QSRemovedMessage"; break;
    case QSRemoval::Outcome::NothingToRemove: titleKey = "QSNothingToRemoveTitle"; messageKey = "QSNothingToRemoveMessage"; break;
    case QSRemoval::Outcome::Refused: messageKey = "QSRemoveRefusedMessage"; break;
    case QSRemoval::Outcome::NotAuthorised: messageKey = "QSRemoveNotAuthorisedMessage"; break;
    case QSRemoval::Outcome::Failed: break;
    }
    title_->setText(withName(titleKey));
    message_->setText(withName(messageKey));
    // What was found and left alone, by path and reason: for the person who asks someone for help.
    QStringList lines;
    for (const auto &kept : result.report.kept)
        lines << QStringLiteral("%1: %2").arg(kept.path, kept.reason);
    if (result.outcome == QSRemoval::Outcome::Failed && !result.reason.isEmpty())
        lines << result.reason;
    details_->setText(lines.join(QLatin1Char('\n')));
    details_->setVisible(!lines.isEmpty());
    primary_->setText(platform::localizedString("MessageClose"));
    primary_->show();
    focusPrimaryButton();
    setAccessibleName(title_->text());
    setAccessibleDescription(message_->text());
}

void QSRemovalController::onCloseClick()
{
    if (screen_ != Screen::Working)
        window()->close();
}

void QSRemovalController::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        onCloseClick();
        return;
    }
    // Return that no focused button took presses the screen's primary button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        event->accept();
        if (primary_->isVisible())
            primary_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QSRemovalController::closeEvent(QCloseEvent *event)
{
    // A close from the window system while the removal runs waits for its end.
    if (screen_ == Screen::Working)
        event->ignore();
    else
        event->accept();
}

void QSRemovalController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (screen_ != Screen::Working)
        focusPrimaryButton();
}

void QSRemovalController::focusPrimaryButton()
{
    // As on every screen of the installer: the keyboard starts on the primary button, its ring shown.
    primary_->setFocus(Qt::OtherFocusReason);
    primary_->setFocusRingShown(true);
}
