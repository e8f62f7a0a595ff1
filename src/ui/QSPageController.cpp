#include "ui/QSPageController.h"

#include "ui_QSPageController.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "platform/Console.h"
#include "platform/Localization.h"
#include "telemetry/QSProxy.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "ui/QSStyle.h"
#include "ui/QSTextDirection.h"

#include <QLayout>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QWheelEvent>

#include <exception>

namespace {

const QString kTitleColor = QStringLiteral("#2F3034");
const QString kDescriptionColor = QStringLiteral("#6C7078");

}  // namespace

QSPageController::QSPageController(QWidget *parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::QSPageController>())
{
    ui_->setupUi(this);
    network_ = new QNetworkAccessManager(this);
    // The images take the proxy the other requests take, asked the same way: Qt's
    // application-wide setting would send an address on this machine past it.
    QSProxy::useSystemProxy(*network_);
}

QSPageController::~QSPageController() = default;

void QSPageController::loadViewIfNeeded()
{
    if (loaded_)
        return;
    loaded_ = true;
    viewDidLoad();
}

void QSPageController::showEvent(QShowEvent *event)
{
    loadViewIfNeeded();
    QWidget::showEvent(event);
}

void QSPageController::wheelEvent(QWheelEvent *event)
{
    event->accept();
}

void QSPageController::viewDidLoad()
{
    if (const auto background = QSColor::colorWithHex(QSConfigProvider::getStringFromPlist(QStringLiteral("BG_COLOR"))))
        setBackgroundColor(this, *background);
    updateUI();
}

void QSPageController::updateUI()
{
    setupTheme();
    setupMessageContentLabelUI();
    if (index_ == 0)
        showSingleItemView();
    else if (index_ == 1)
        showTwoItemView();
    else
        showThreeItemView();
    settleLayout();
}

void QSPageController::settleLayout()
{
    // The filled texts change the containers' heights; bring the whole page up to date at once
    // rather than over several rounds of layout requests, so the first frame is already right.
    for (QWidget *container : {ui_->singleItemView, ui_->twoItemView, ui_->threeItemView}) {
        container->layout()->activate();
        container->updateGeometry();
    }
    layout()->activate();
}

void QSPageController::setupTheme()
{
    const QFont titleFont = QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 20);
    const QFont descriptionFont = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    for (int number : {1, 21, 22, 31, 32, 33}) {
        const ItemSlot slot = itemSlot(number);
        slot.title->setFont(titleFont);
        setTextColor(slot.title, QSColor::hex(kTitleColor));
        slot.description->setFont(descriptionFont);
        setTextColor(slot.description, QSColor::hex(kDescriptionColor));
    }
    ui_->contentText->setFont(QSFonts::font(QStringLiteral("Common Sans"), 14));
    setTextColor(ui_->contentText, QSColor::hex(kDescriptionColor));
}

void QSPageController::setupMessageContentLabelUI()
{
    // The closing text takes the place of its layout placeholder, below the items.
    contentTextView_ = new HyperlinkTextField(this);
    contentTextView_->setObjectName(QStringLiteral("contentTextView"));
    ui_->contentLayout->insertWidget(ui_->contentLayout->indexOf(ui_->contentText) + 1, contentTextView_);
    contentTextView_->setFixedHeight(64);
    contentTextView_->setContentsMargins(24, 8, 24, 8);
    contentTextView_->setAlignment(Qt::AlignVCenter);
    ui_->contentText->hide();

    contentTextView_->setLinkAppearance(
        QSLinkAppearance{QSColor::hex(kDescriptionColor), true, QColor(Qt::transparent), std::nullopt});
    contentTextView_->setDrawsBackground(true, Qt::white, 14);
    contentTextView_->hide();

    content_ = setupMessageLabelsUI();
    contentTextView_->setAttributedText(content_);
}

QSAttributedString QSPageController::setupMessageLabelsUI()
{
    QSAttributedString text(platform::localizedString("MessageContent"),
                            QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), QSColor::hex(kTitleColor));
    text.setColor(QSColor::hex(kDescriptionColor));
    // Starts at the reading edge: left in left-to-right languages, right in Hebrew.
    text.setAlignment(QSTextAlignment::Natural);
    return text;
}

void QSPageController::showContainers(bool single, bool two, bool three)
{
    ui_->singleItemView->setVisible(single);
    ui_->twoItemView->setVisible(two);
    ui_->threeItemView->setVisible(three);
    contentTextView_->setVisible(three);
    layout_ = single ? Layout::SingleItem : two ? Layout::TwoItems : Layout::ThreeItems;
}

void QSPageController::showSingleItemView()
{
    showContainers(true, false, false);
    if (index_ >= 0 && pages_.size() > index_)
        fillSlot(itemSlot(1), pages_.at(index_));
}

void QSPageController::showTwoItemView()
{
    showContainers(false, true, false);
    if (pages_.size() >= 1)
        fillSlot(itemSlot(21), pages_.at(0));
    if (pages_.size() >= 2)
        fillSlot(itemSlot(22), pages_.at(1));
}

void QSPageController::showThreeItemView()
{
    showContainers(false, false, true);
    if (pages_.size() >= 1)
        fillSlot(itemSlot(31), pages_.at(0));
    if (pages_.size() >= 2)
        fillSlot(itemSlot(32), pages_.at(1));
    if (pages_.size() >= 3)
        fillSlot(itemSlot(33), pages_.at(2));
}

void QSPageController::fillSlot(const ItemSlot &slot, const QSPageObject &page)
{
    slot.title->setText(QSTextDirection::forInterface(page.textString));
    QSAttributedString description(page.descriptionString, slot.description->font(),
                                   QSColor::hex(kDescriptionColor));
    description.setMaximumLineHeight(22);
    slot.description->setText(description.toHtml());
    slot.description->setAccessibleName(page.descriptionString);
    loadImage(slot.image, page.imageURL);
}

void QSPageController::loadImage(QSImageView *view, const QUrl &url)
{
    // Only web addresses are fetched: Qt reads a local one synchronously, on this thread.
    if (!url.isValid() || url.isEmpty() || !QSConfig::isWebAddress(url)) {
        emit imageLoadFinished(url, false);
        return;
    }
    if (imageCache_ && imageCache_->contains(url)) {
        view->setImage(imageCache_->value(url));
        emit imageLoadFinished(url, true);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kImageTimeoutMilliseconds);
    QNetworkReply *reply = network_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaximumImageBytes)
            reply->abort();
    });
    QPointer<QSImageView> target(view);
    connect(reply, &QNetworkReply::finished, this, [this, reply, target, url] {
        reply->deleteLater();
        bool loaded = false;
        try {
            if (reply->error() == QNetworkReply::NoError && target) {
                const QSImage image = QSImage::fromData(reply->readAll());
                if (!image.isNull()) {
                    target->setImage(image);
                    if (imageCache_)
                        imageCache_->insert(url, image);
                    loaded = true;
                }
            }
        } catch (const std::exception &exception) {
            platform::console(QStringLiteral("Exception: %1").arg(QString::fromLocal8Bit(exception.what())));
        }
        emit imageLoadFinished(url, loaded);
    });
}

QWidget *QSPageController::singleItemView() const { return ui_->singleItemView; }
QWidget *QSPageController::twoItemView() const { return ui_->twoItemView; }
QWidget *QSPageController::threeItemView() const { return ui_->threeItemView; }
HyperlinkTextField *QSPageController::contentText() const { return ui_->contentText; }

QSPageController::ItemSlot QSPageController::itemSlot(int slotNumber) const
{
    switch (slotNumber) {
    case 1:
        return {ui_->imageView, ui_->textField, ui_->descriptionText};
    case 21:
        return {ui_->imageView21, ui_->textField21, ui_->descriptionText21};
    case 22:
        return {ui_->imageView22, ui_->textField22, ui_->descriptionText22};
    case 31:
        return {ui_->imageView31, ui_->textField31, ui_->descriptionText31};
    case 32:
        return {ui_->imageView32, ui_->textField32, ui_->descriptionText32};
    case 33:
        return {ui_->imageView33, ui_->textField33, ui_->descriptionText33};
    default:
        return {};
    }
}
