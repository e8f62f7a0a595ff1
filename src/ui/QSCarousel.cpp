#include "ui/QSCarousel.h"

#include "config/QSConfig.h"
#include "engine/QSTermination.h"
#include "platform/Console.h"
#include "telemetry/QSLogger.h"
#include "ui/QSPageController.h"

#include <QJsonObject>
#include <QScreen>
#include <QStackedWidget>
#include <QWindow>
#include <QtMath>

QSCarousel::QSCarousel(QStackedWidget *stack, QObject *parent) : QObject(parent), stack_(stack)
{
    timer_.setSingleShot(true);
    timer_.setInterval(kAdvanceMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &QSCarousel::moveToNextPage);
    // The window is hidden while the end's two requests run their local loops: a page turning
    // then would put its record after "End".
    connect(&QSTermination::instance(), &QSTermination::began, this, &QSCarousel::cancel);
}

QUrl QSCarousel::scaledImageUrl(const QString &image, int scale)
{
    const QUrl url(image);
    if (scale != 2 && scale != 3)
        return url;
    const QString name = url.path().section(QLatin1Char('/'), -1);
    const QStringList pieces = name.split(QLatin1Char('.'));
    if (!url.isValid() || name.isEmpty() || pieces.size() < 2)
        return url;
    const QString scaled = QStringLiteral("%1%2.%3").arg(pieces[0], scale == 2 ? QStringLiteral("@2x") : QStringLiteral("@3x"),
                                                         pieces[1]);
    return QUrl(QString(image).replace(name, scaled));
}

int QSCarousel::imageScale(qreal devicePixelRatio)
{
    if (!(devicePixelRatio > 1) || !qIsFinite(devicePixelRatio))
        return 1;
    // A ratio a hair above a whole number is that number (1.0000001 is scale 1, not 2).
    return qBound(1, qCeil(devicePixelRatio - 1e-6), 3);
}

int QSCarousel::screenImageScale() const
{
    // The window's own screen: with two screens of different scales, the one the window is on.
    return imageScale(stack_->window()->devicePixelRatioF());
}

QUrl QSCarousel::pageImageUrl(const QString &image) const
{
    // Pictures come from the web only: a local address (a FIFO, a device) would be read on the
    // main thread and could hold the window for as long as it likes.
    return QSConfig::isWebAddress(QUrl(image)) ? scaledImageUrl(image, imageScale_) : QUrl();
}

void QSCarousel::followWindowScreen()
{
    if (QWindow *window = stack_->window()->windowHandle())
        connect(window, &QWindow::screenChanged, this, &QSCarousel::rescaleImages, Qt::UniqueConnection);
}

void QSCarousel::rescaleImages()
{
    const int scale = screenImageScale();
    if (scale == imageScale_ || arranged_.isEmpty())
        return;
    imageScale_ = scale;
    for (qsizetype i = 0; i < arranged_.size(); ++i) {
        arranged_[i].imageURL = pageImageUrl(imageTexts_.at(i));
        QSLogger::debug(QStringLiteral("Using image asset : %1").arg(arranged_.at(i).imageURL.toString()),
                        QS_LOG_CONTEXT("-[QSMainController setupPageController]"));
    }
    select(shownIndex_);  // the page on show, built again with the pictures for this screen
}

void QSCarousel::setupPageController(const QSConfig &config)
{
    cancel();
    pagesInfo_.clear();
    arranged_.clear();
    imageTexts_.clear();
    images_ = std::make_shared<QSImageCache>();  // a new configuration may name new pictures
    pageIndex_ = 0;
    if (current_) {
        stack_->removeWidget(current_);
        current_->deleteLater();
    }
    if (config.infoScreensCount == 0)
        return;

    imageScale_ = screenImageScale();
    followWindowScreen();
    // A list shorter than its count shows what it has; an entry without a title cannot be an item.
    const qsizetype count = qMin<qsizetype>(qsizetype(config.infoScreensCount), config.screens.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QJsonObject screen = config.screens.at(i).toObject();
        const QString title = screen.value(QStringLiteral("text1")).toString();
        if (title.isEmpty())
            continue;
        QSPageObject page;
        page.textString = title;
        page.descriptionString = screen.value(QStringLiteral("text2")).toString();
        const QString image = screen.value(QStringLiteral("image")).toString();
        if (!image.isEmpty() && !QSConfig::isWebAddress(QUrl(image)))
            QSLogger::error(QStringLiteral("Ignoring the page image: not an http or https address: %1").arg(image),
                            QS_LOG_CONTEXT("-[QSMainController setupPageController]"));
        page.imageURL = pageImageUrl(image);
        QSLogger::debug(QStringLiteral("Using image asset : %1").arg(page.imageURL.toString()),
                        QS_LOG_CONTEXT("-[QSMainController setupPageController]"));
        pagesInfo_.insert(page.textString, arranged_.size());  // a later page with the same text wins
        arranged_.append(page);
        imageTexts_.append(image);
    }
    if (arranged_.isEmpty())
        return;
    select(0);
    timer_.start();
}

void QSCarousel::moveToNextPage()
{
    ++pageIndex_;
    if (pageIndex_ >= quint64(pagesInfo_.size()))
        return;
    select(pageIndex_);
    const QString line = QStringLiteral("PAGE CHANGED TO %1").arg(pageIndex_);
    platform::console(line);
    QSLogger::debug(line, QS_LOG_CONTEXT("-[QSMainController moveToNextPage]"));
    timer_.start();
}

void QSCarousel::cancel()
{
    timer_.stop();
}

void QSCarousel::select(quint64 index)
{
    if (index >= quint64(arranged_.size()))
        return;
    QSPageController *page = viewControllerForIdentifier(arranged_.at(qsizetype(index)).textString);
    QPointer<QSPageController> previous = current_;
    current_ = page;
    shownIndex_ = index;
    stack_->addWidget(page);
    stack_->setCurrentWidget(page);
    if (previous) {
        stack_->removeWidget(previous);
        previous->deleteLater();
    }
    emit pageShown(index);
}

QSPageController *QSCarousel::viewControllerForIdentifier(const QString &identifier)
{
    auto *page = new QSPageController;
    page->setIndex(pagesInfo_.value(identifier, 0));
    page->setPages(arranged_);
    page->setImageCache(images_);
    return page;
}
