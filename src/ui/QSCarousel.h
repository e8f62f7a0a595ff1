#pragma once
// The onboarding carousel's driver: turns the configuration's pages into items, shows page after
// page every three seconds in a stacked widget, and stops on the last page. Pages reveal the items
// cumulatively (one, two, then three items with a closing text); each is built when selected, and
// pictures that have arrived are kept for the later pages.

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
    QSPageController *viewControllerForIdentifier(const QString &identifier);

    QStackedWidget *stack_;
    QTimer timer_;
    QHash<QString, qsizetype> pagesInfo_;  // page text -> its position in the arranged list
    QList<QSPageObject> arranged_;
    quint64 pageIndex_ = 0;
    QPointer<QSPageController> current_;
    std::shared_ptr<QSImageCache> images_ = std::make_shared<QSImageCache>();
};
