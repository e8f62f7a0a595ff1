#pragma once
// The onboarding carousel's driver: turns the configuration's pages into items, shows page after
// page every three seconds in a stacked widget, and stops on the last page. Pages reveal the items
// cumulatively (one, two, then three items with a closing text); each is built when selected, and
// pictures that have arrived are kept for the later pages. Pictures are asked for in the size that
// the window's own screen draws sharply, and asked for again when the window moves to a screen of
// another scale.

#include "ui/QSPageController.h"
#include "ui/QSPageObject.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QSConfig;
class QSPageController;
class QStackedWidget;

class QSCarousel : public QObject {
    Q_OBJECT
public:
    static constexpr int kAdvanceMilliseconds = 3000;

    explicit QSCarousel(QStackedWidget *stack, QObject *parent = nullptr);

    // Builds the carousel from the configuration and starts it (nothing when it has no pages).
    void setupPageController(const QSConfig &config);
    // Advances by one page; the last page stays.
    void moveToNextPage();
    // Stops a pending advance (hidePageView).
    void cancel();

    // "page1.png" becomes "page1@2x.png" at scale 2 and "page1@3x.png" at scale 3; an address
    // that does not parse or whose file name has no "." is used unchanged.
    static QUrl scaledImageUrl(const QString &image, int scale);
    // The picture scale for a device pixel ratio, rounded up so that no picture is enlarged:
    // 1.25 and 1.5 ask for @2x, 2.5 for @3x; 1 for a ratio of 1 or less, or none at all.
    static int imageScale(qreal devicePixelRatio);
    // The picture scale in use (that of the window's screen when the carousel was built or moved).
    int currentImageScale() const { return imageScale_; }

    // Test support
    void setAdvanceInterval(int milliseconds) { timer_.setInterval(milliseconds); }
    bool isAdvanceScheduled() const { return timer_.isActive(); }
    quint64 pageIndex() const { return pageIndex_; }
    const QList<QSPageObject> &arrangedObjects() const { return arranged_; }
    QSPageController *currentPage() const { return current_; }

signals:
    void pageShown(quint64 selectedIndex);

private:
    void select(quint64 index);
    int screenImageScale() const;
    void followWindowScreen();
    void rescaleImages();
    QUrl pageImageUrl(const QString &image) const;
    QSPageController *viewControllerForIdentifier(const QString &identifier);

    QStackedWidget *stack_;
    QTimer timer_;
    QHash<QString, qsizetype> pagesInfo_;  // page text -> its position in the arranged list
    QList<QSPageObject> arranged_;
    QStringList imageTexts_;  // each arranged page's "image" as the configuration gave it
    int imageScale_ = 1;
    quint64 pageIndex_ = 0;
    quint64 shownIndex_ = 0;
    QPointer<QSPageController> current_;
    std::shared_ptr<QSImageCache> images_ = std::make_shared<QSImageCache>();
};
