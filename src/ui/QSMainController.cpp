#include "ui/QSMainController.h"

#include "ui_QSMainController.h"

#include "config/QSConfigProvider.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSScreenStates.h"
#include "platform/Host.h"
#include "platform/Localization.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"
#include "ui/QSAlertController.h"
#include "ui/QSCarousel.h"
#include "ui/QSColor.h"
#include "ui/QSErrorController.h"
#include "ui/QSErrorObject.h"
#include "ui/QSEula.h"
#include "ui/QSFonts.h"
#include "ui/QSImage.h"
#include "ui/QSLinkTexts.h"
#include "telemetry/QSNotificationNames.h"
#include "ui/QSStyle.h"
#include "ui/QSTextDirection.h"
#include "ui/QSTextFormat.h"
#include "ui/accessibility/QSAccessibility.h"

#include <QApplication>
#include <QJsonObject>

namespace {

const QString kDark = QStringLiteral("#2F3034");
const QString kGrey = QStringLiteral("#6C7078");

QString orNA(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("NA") : value;
}

// A label's text with a maximum line height, as the screens' paragraph styles set it.
void setLineHeightText(QLabel *label, const QString &text, const QFont &font, const QColor &color, qreal lineHeight)
{
    QSAttributedString attributed(text, font, color);
    attributed.setAlignment(QSTextAlignment::Center);
    attributed.setMaximumLineHeight(lineHeight);
    label->setFont(font);  // the document's own: no second face for the same text
    label->setTextFormat(Qt::RichText);
    label->setText(attributed.toHtml());
}

void styleFilledButton(QSButton *button, const QString &title)
{
    button->setText(title);
    button->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 14), QSColor::hex(QStringLiteral("#FFFFFF")));
    button->setLayerBackgroundColor(QSColor::hex(kDark));
    button->setCornerRadius(20);
    button->setAccessibleName(title);
}

}  // namespace

QSMainController::QSMainController(const QStringList &arguments, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::QSMainController>())
{
    ui_->setupUi(this);
    flow_ = std::make_unique<QSInstallFlow>(*this);
    progressThrottle_.setSingleShot(true);
    progressThrottle_.setInterval(kProgressRedrawMilliseconds);
    connect(&progressThrottle_, &QTimer::timeout, this, &QSMainController::applyPendingProgress);
    carousel_ = new QSCarousel(ui_->pageStack, this);
    awakeFromNib(arguments);
}

QSMainController::~QSMainController()
{
    auto &center = platform::NotificationCenter::defaultCenter();
    for (const auto token : observers_)
        center.removeObserver(token);
    if (alert_)
        delete alert_.data();
    if (eula_)
        delete eula_.data();
}

QSLaunchArguments QSMainController::writeStartRecords(QSInstallFlow &flow, const QStringList &arguments)
{
    const QSLaunchArguments launch = QSLaunchArguments::scan(arguments);
    flow.setLaunchedFromDrive(launch.launchedFromDrive);
    const QSLogContext context = QS_LOG_CONTEXT("-[QSMainController awakeFromNib]");
    QSLogger::debug(QStringLiteral("_isLaunchedfromDrive:%1").arg(launch.launchedFromDrive ? QStringLiteral("true") : QStringLiteral("false")),
                    context);
    QSLogger::showScreen(QStringLiteral("Welcome"), context);
    flow.sendEvent(QStringLiteral("Start"), QJsonObject{
                                                {QStringLiteral("SR"), QSSystemInfo::getScreenResolution()},
                                                {QStringLiteral("Proc"), orNA(QSSystemInfo::getCPUName())},
                                                {QStringLiteral("ProcType"), QSSystemInfo::getCPUType()},
                                                {QStringLiteral("TRG"), launch.target},
                                                {QStringLiteral("CData"), launch.data},
                                            });
    return launch;
}

void QSMainController::awakeFromNib(const QStringList &arguments)
{
    // The licence sentence takes the placeholder's place in the welcome layout.
    textView_ = new HyperlinkTextField(ui_->installView);
    textView_->setObjectName(QStringLiteral("textView"));
    textView_->setFixedHeight(kLicenceSentenceHeight);
    textView_->setWordWrap(true);
    const int placeholder = ui_->installLayout->indexOf(ui_->agreementTextField);
    ui_->installLayout->insertWidget(placeholder, textView_);

    closeWithoutCheck_ = false;
    ui_->launchButton->hide();
    isLaunchOrNot_ = false;

    arguments_ = writeStartRecords(*flow_, arguments);

    if (const auto background = QSColor::colorWithHex(QSConfigProvider::getStringFromPlist(QStringLiteral("BG_COLOR"))))
        setBackgroundColor(this, *background);

    subscribeEvents();
    setupUI();
}

void QSMainController::subscribeEvents()
{
    auto &center = platform::NotificationCenter::defaultCenter();
    const auto observe = [&](const QString &name, std::function<void(const platform::Notification &)> handler) {
        observers_.push_back(center.addObserver(name, std::move(handler)));
    };
    observe(QSNotificationNames::kHideAlert, [this](const platform::Notification &) { hideAlert(); });
    observe(QSNotificationNames::kQuitInstallation,
            [this](const platform::Notification &n) { flow_->quitInstallation(n.object); });
    observe(QSNotificationNames::kStartInstallation, [this](const platform::Notification &) { flow_->startInstallation(); });
    observe(QSNotificationNames::kOpenEula, [this](const platform::Notification &) { licenseAgreementClick(); });
    observe(QSNotificationNames::kOpenPrivacyPolicyLink, [this](const platform::Notification &) { privacyPolicyClick(); });
    observe(QSNotificationNames::kShowContactSupportButton,
            [this](const platform::Notification &) { setupContactSupport(); });
}

void QSMainController::setupUI()
{
    showState(QSScreenState::Welcome);

    setUpDetailsFieldUI();
    setupTitles();
    setupInstallButtonUI();
    setupLinkLabelsUI();
    setupConnectingLabel();
    setupLaunchButtonUI(isLaunchOrNot_);
    setupProgressStatusUI();
    setupCloseButtonUI();
    setupKeyboard();

    connect(ui_->installButton, &QPushButton::clicked, this, &QSMainController::onInstallTap);
    connect(ui_->launchButton, &QPushButton::clicked, this, &QSMainController::onLaunchTap);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QSMainController::onCloseTap);
}

void QSMainController::setUpDetailsFieldUI()
{
    QSAttributedString headline(platform::localizedString("QSDetailText"),
                                QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 20), QSColor::hex(kDark));
    headline.setAlignment(QSTextAlignment::Center);
    headline.setMaximumLineHeight(30);
    ui_->detailTextField->setAttributedText(headline);
}

void QSMainController::setupTitles()
{
    const QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    const QColor grey = QSColor::hex(kGrey);
    setLineHeightText(ui_->messageOne, platform::localizedString("QSLandingInfoOne"), font, grey, 22.4);
    setLineHeightText(ui_->messageTwo, platform::localizedString("QSLandingInfoTwo"), font, grey, 22.4);
    setLineHeightText(ui_->messageThree, platform::localizedString("QSLandingInfoThree"), font, grey, 22.4);
}

void QSMainController::setupInstallButtonUI()
{
    styleFilledButton(ui_->installButton, platform::localizedString("QSInstallNow"));
}

void QSMainController::setupLinkLabelsUI()
{
    ui_->agreementTextField->setMaxPointY(24);
    textView_->setMaxPointY(24);
    QSAttributedString sentence = QSLinkTexts::licenceSentence();
    // Its height holds two lines: a sentence that wraps stays inside it.
    sentence.setMaximumLineHeight(kLicenceSentenceHeight / 2.0);
    textView_->setAttributedText(sentence);
    textView_->setLinkAppearance(QSLinkAppearance{QSColor::hex(kGrey), true, Qt::black, std::nullopt});
    ui_->agreementTextField->hide();
    ui_->agreementTextField->setDrawsBackground(true, Qt::white);
}

void QSMainController::setupConnectingLabel()
{
    ui_->connectingLabel->setText(QSTextDirection::forInterface(platform::localizedString("MessageConnecting")));
    ui_->connectingLabel->setFont(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 36));
    setTextColor(ui_->connectingLabel, QSColor::hex(kDark));
}

void QSMainController::setupLaunchButtonUI(bool started)
{
    styleFilledButton(ui_->launchButton, platform::localizedString(started ? "QSstarted" : "QSLaunchApp"));
}

void QSMainController::setupProgressStatusUI()
{
    ui_->progressView->setAccessibleName(platform::localizedString("QSAccessibleDownloadProgress"));
    ui_->progressStatus->setFont(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 36));
    setTextColor(ui_->progressStatus, QSColor::hex(QStringLiteral("#000000")));
}

void QSMainController::setupCloseButtonUI()
{
    // The cross is the multiplication sign, which the embedded faces carry (a dingbat cross would
    // depend on the fonts of the machine).
    ui_->closeButton->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-Regular"), 24), QSColor::hex(kGrey));
    ui_->closeButton->setCornerRadius(16);
    // The error screen has a "Close" of its own: the cross is named for what it does, and its tip
    // (which screen readers read as its description) says the same.
    ui_->closeButton->setToolTip(platform::localizedString("QSAccessibleQuit"));
    ui_->closeButton->setAccessibleName(platform::localizedString("QSAccessibleQuit"));
}

QWidget *QSMainController::element(const char *name) const
{
    if (qstrcmp(name, "textView") == 0)
        return textView_;
    return findChild<QWidget *>(QString::fromLatin1(name));
}

// ----- Screens -----------------------------------------------------------------------------

void QSMainController::showState(QSScreenState state)
{
    const auto widgetFor = [this](QSScreenElement element) -> QWidget * {
        switch (element) {
        case QSScreenElement::InstallView: return ui_->installView;
        case QSScreenElement::PageView: return ui_->pageView;
        case QSScreenElement::SpinnerView: return ui_->spinnerView;
        case QSScreenElement::ProgressView: return ui_->progressView;
        case QSScreenElement::ProgressStatus: return ui_->progressStatus;
        case QSScreenElement::ErrorView: return ui_->errorView;
        case QSScreenElement::CloseButton: return ui_->closeButton;
        case QSScreenElement::InstallButton: return ui_->installButton;
        case QSScreenElement::LaunchButton: return ui_->launchButton;
        }
        return nullptr;
    };
    const QList<QSElementSetting> &settings = QSScreenStates::settings(state);
    const auto apply = [&](bool removing) {
        for (const QSElementSetting &setting : settings) {
            QWidget *widget = widgetFor(setting.element);
            if ((setting.change == QSElementChange::Hide || setting.change == QSElementChange::Disable) != removing)
                continue;
            if (setting.change == QSElementChange::Show)
                widget->show();
            else if (setting.change == QSElementChange::Disable)
                widget->setEnabled(false);
            else if (setting.change == QSElementChange::Hide && setting.element == QSScreenElement::PageView)
                hidePageView();
            else if (setting.change == QSElementChange::Hide)
                widget->hide();
        }
    };
    const auto removed = [&](const QWidget *widget) {
        return std::any_of(settings.begin(), settings.end(), [&](const QSElementSetting &setting) {
            const QWidget *gone = widgetFor(setting.element);
            return setting.change != QSElementChange::Show && setting.change != QSElementChange::Keep
                && (gone == widget || gone->isAncestorOf(widget));
        });
    };
    apply(false);
    // A focused control that goes would hand the focus on to the next one in Tab order, and a
    // screen reader would announce that control on the way: the focus moves first, straight to
    // where this state wants it.
    if (QWidget *focused = QApplication::focusWidget(); focused && isAncestorOf(focused) && removed(focused)) {
        QWidget *target = primaryButton();
        if (!target || removed(target))
            target = ui_->progressView->isVisibleTo(this) && !removed(ui_->progressView) ? ui_->progressView : nullptr;
        if (target)
            target->setFocus(Qt::OtherFocusReason);
    }
    apply(true);
    if (state == QSScreenState::Downloading)
        ui_->progressView->setCornerRadius(5);
    focusPrimaryButton();
}

void QSMainController::hidePageView()
{
    ui_->pageView->hide();
    carousel_->cancel();
}

void QSMainController::setupPageController(const QSConfig &config)
{
    carousel_->setupPageController(config);
}

void QSMainController::updateLauchButtons()
{
    // The finished status first: a screen reader hears it before the focus reaches the launch button.
    ui_->progressStatus->setStatus(QSTextDirection::forInterface(platform::localizedString("QSWelcome_To_Brightmoor")));
    setupLaunchButtonUI(true);
    showState(QSScreenState::Finished);
}

void QSMainController::makeMainViewVisible()
{
    show();
}

void QSMainController::hideCloseButton()
{
    ui_->closeButton->hide();
}

void QSMainController::updateProgress(float percentFill, const QString &label)
{
    ui_->progressStatus->show();
    ui_->progressStatus->setStatus(QSTextDirection::forInterface(label));
    // A download reports every chunk of the body. The bar is redrawn at most once per interval and
    // always ends on the latest value: redrawing the window for each chunk would slow the download.
    pendingProgress_ = percentFill;
    progressLabel_ = label;
    if (progressThrottle_.isActive()) {
        progressPending_ = true;
        return;
    }
    ui_->progressView->setProgress(pendingProgress_, progressLabel_);
    progressThrottle_.start();
}

void QSMainController::applyPendingProgress()
{
    if (!progressPending_)
        return;
    progressPending_ = false;
    ui_->progressView->setProgress(pendingProgress_, progressLabel_);
    progressThrottle_.start();
}

QSAttributedString QSMainController::screenText(const QSScreenText &text) const
{
    switch (text.kind) {
    case QSScreenText::Kind::VisitOnlineSite:
        return QSLinkTexts::setupVisitOnlineSiteLabelUI();
    case QSScreenText::Kind::ContactSupport:
        return QSLinkTexts::setupContactSupportLabelsUI();
    case QSScreenText::Kind::Plain:
        break;
    }
    return QSAttributedString(text.text, QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), QSColor::hex(kGrey));
}

void QSMainController::showInfoAlert(const QSInfoAlert &alert)
{
    closeWithoutCheck_ = alert.exitOnClose;
    // Made when first needed: its texts and fonts would cost every start some time that most runs
    // never use.
    if (!errorController_) {
        errorController_ = new QSErrorController(ui_->errorView);
        ui_->errorLayout->addWidget(errorController_);
    }
    QSErrorObject error;
    error.title = alert.title;
    error.message = screenText(alert.message);
    error.icon = QSImage::named(alert.iconName);
    error.withRetry = alert.retry;
    error.withClose = alert.close;
    error.withContactSupport = alert.contactSupport;
    error.info = screenText(alert.subTitle);
    error.isURL = alert.isURL;
    // The screen is laid out for its record before it shows, so that the keyboard goes straight to
    // its first visible action (a freshly made screen shows only Retry).
    errorController_->setErrorObject(error);
    showState(QSScreenState::Error);
    QSAccessibility::announceAlert(errorController_);
}

void QSMainController::showGenericError(const QString &)
{
    QSInfoAlert alert;
    alert.message = QSScreenText::contactSupport();
    alert.title = platform::localizedString("MessageInstallationFailed");
    alert.iconName = QStringLiteral("install_failed_block_img");
    alert.close = true;
    alert.contactSupport = true;
    alert.subTitle = QSScreenText::visitOnlineSite();
    alert.isURL = true;
    alert.exitOnClose = true;
    showInfoAlert(alert);
}

// ----- Actions -----------------------------------------------------------------------------

void QSMainController::onInstallTap()
{
    flow_->startInstallation();
}

void QSMainController::onCloseTap()
{
    showQuitAler();
}

void QSMainController::onLaunchTap()
{
    flow_->launchAppWithPath();
}

void QSMainController::licenseAgreementClick()
{
    if (eula_)
        eula_->deleteLater();
    eula_ = new QSEula(window());  // the installer's window is its parent (transient) for the window system
    eula_->setAttribute(Qt::WA_DeleteOnClose, false);
    // Closed with Escape or its button, the keyboard comes back to this window, where it was.
    connect(eula_, &QSEula::dismissed, this, [this] { window()->activateWindow(); });
    eula_->showWindow(this);
}

void QSMainController::privacyPolicyClick()
{
    QSLinkTexts::logLanguageLine(QStringLiteral("-[QSMainController privacyPolicyClick]"));
    platform::host().openUrl(QSLinkTexts::privacyPolicyUrl(QSConfigProvider::getStringFromPlist(QStringLiteral("QSConfigUrl")),
                                                           QSSystemInfo::getCountry(), QSSystemInfo::getLanguage(),
                                                           QSSystemInfo::getLocale()));
}

void QSMainController::setupContactSupport()
{
    QSLinkTexts::logLanguageLine(QStringLiteral("-[QSMainController setupContactSupport]"));
    platform::host().openUrl(QSLinks::supportRequest());
}
