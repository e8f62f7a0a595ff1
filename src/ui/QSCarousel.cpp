#include "ui/QSCarousel.h"

#include "config/QSConfig.h"
#include "platform/Console.h"
#include "telemetry/QSLogger.h"
#include "ui/QSPageController.h"

#include <QGuiApplication>
#include <QJsonObject>
#include <QScreen>
#include <QStackedWidget>

namespace {
int screenScale()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? int(screen->devicePixelRatio()) : 1;
}
}  // namespace

QSCarousel::QSCarousel(QStackedWidget *stack, QObject *parent) : QObject(parent), stack_(stack)
{
    timer_.setSingleShot(true);
    timer_.setInterval(kAdvanceMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &QSCarousel::moveToNextPage);
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

void QSCarousel::setupPageController(const QSConfig &config)
{
    cancel();
    pagesInfo_.clear();
    arranged_.clear();
    images_ = std::make_shared<QSImageCache>();  // a new configuration may name new pictures
    pageIndex_ = 0;
    if (current_) {
        stack_->removeWidget(current_);
        current_->deleteLater();
    }
    if (config.infoScreensCount == 0)
        return;

    const int scale = screenScale();
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
        // Pictures come from the web only: a local address (a FIFO, a device) would be read on
        // the main thread and could hold the window for as long as it likes.
        const bool webImage = QSConfig::isWebAddress(QUrl(image));
        if (!image.isEmpty() && !webImage)
            QSLogger::error(QStringLiteral("Ignoring the page image: not an http or https address: %1").arg(image),
                            QS_LOG_CONTEXT("-[QSMainController setupPageController]"));
        page.imageURL = webImage ? scaledImageUrl(image, scale) : QUrl();
        QSLogger::debug(QStringLiteral("Using image asset : %1").arg(page.imageURL.toString()),
                        QS_LOG_CONTEXT("-[QSMainController setupPageController]"));
        pagesInfo_.insert(page.textString, arranged_.size());  // a later page with the same text wins
        arranged_.append(page);
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
