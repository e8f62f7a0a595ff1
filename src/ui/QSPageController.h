#pragma once
// One page of the onboarding carousel. Pages reveal the items cumulatively: page 0 shows the first
// item alone, page 1 the first two side by side, every later page the first three and a closing
// text. Pictures arrive asynchronously; a page shows its texts at once and a picture that cannot be
// read leaves its slot empty. Scrolling over a page does nothing, so only the carousel's timer
// moves it.

#include "ui/QSAttributedString.h"
#include "ui/QSImage.h"
#include "ui/QSPageObject.h"

#include <QHash>
#include <QList>
#include <QUrl>
#include <QWidget>

#include <memory>

class QLabel;
class QNetworkAccessManager;
class QSImageView;
class HyperlinkTextField;

namespace Ui {
class QSPageController;
}

// Pictures that have arrived, by address. The carousel shares one among its pages, so a page that
// shows an item again draws its picture at once instead of fetching it anew.
using QSImageCache = QHash<QUrl, QSImage>;

class QSPageController : public QWidget {
    Q_OBJECT
public:
    enum class Layout { None, SingleItem, TwoItems, ThreeItems };

    // The image, title and description views of one item.
    struct ItemSlot {
        QSImageView *image = nullptr;
        QLabel *title = nullptr;
        QLabel *description = nullptr;
    };

    // Largest picture a page reads, and how long it waits for one.
    static constexpr qint64 kMaximumImageBytes = 16 * 1024 * 1024;
    static constexpr int kImageTimeoutMilliseconds = 20000;

    explicit QSPageController(QWidget *parent = nullptr);
    ~QSPageController() override;

    // Set once, before the view loads.
    void setIndex(qint64 index) { index_ = index; }
    qint64 index() const { return index_; }
    void setPages(const QList<QSPageObject> &pages) { pages_ = pages; }
    const QList<QSPageObject> &pages() const { return pages_; }
    void setImageCache(std::shared_ptr<QSImageCache> cache) { imageCache_ = std::move(cache); }

    // Builds the page the first time it is needed (also on the first show).
    void loadViewIfNeeded();
    Layout currentLayout() const { return layout_; }

    // The closing text: the localised "MessageContent".
    static QSAttributedString setupMessageLabelsUI();
    const QSAttributedString &content() const { return content_; }

    QWidget *singleItemView() const;
    QWidget *twoItemView() const;
    QWidget *threeItemView() const;
    HyperlinkTextField *contentText() const;
    HyperlinkTextField *contentTextView() const { return contentTextView_; }
    // Slot 1 of the one-item layout; 21, 22; 31, 32, 33.
    ItemSlot itemSlot(int slotNumber) const;

signals:
    // A picture request ended; loaded is false when it gave no image.
    void imageLoadFinished(const QUrl &url, bool loaded);

protected:
    void showEvent(QShowEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void viewDidLoad();
    void updateUI();
    void setupTheme();
    void setupMessageContentLabelUI();
    void showSingleItemView();
    void showTwoItemView();
    void showThreeItemView();
    void showContainers(bool single, bool two, bool three);
    void settleLayout();
    void fillSlot(const ItemSlot &slot, const QSPageObject &page);
    void loadImage(QSImageView *view, const QUrl &url);

    std::unique_ptr<Ui::QSPageController> ui_;
    HyperlinkTextField *contentTextView_ = nullptr;
    QNetworkAccessManager *network_ = nullptr;
    qint64 index_ = 0;
    QList<QSPageObject> pages_;
    std::shared_ptr<QSImageCache> imageCache_;
    QSAttributedString content_;
    bool loaded_ = false;
    Layout layout_ = Layout::None;
};
