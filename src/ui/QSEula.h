#pragma once
// The licence agreement window: the product's licence document for the user's language, read
// only. Links in it open in the user's browser and the document stays in place. The window stays
// in front of the installer's other windows (the quit confirmation included) and closes itself as
// soon as the user turns to another window.

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QTextBrowser;

namespace Ui {
class QSEula;
}

class QSEula : public QWidget {
    Q_OBJECT
public:
    explicit QSEula(QWidget *parent = nullptr);
    ~QSEula() override;

    // Shows the window in front, centred over its parent's window (the screen without one); the
    // parent makes it that window's child window (transient) for the window system.
    void showWindow(QWidget *sender = nullptr);
    void closeWindow();
    // The licence document for the user's language (qrc:/licences/<name>_EULA.html); empty when
    // not even the English one is there.
    QUrl getEulaURL() const;
    QTextBrowser *webView() const;

    // The document's language name: "zh-TW" for traditional Chinese, "zh" for other Chinese,
    // otherwise the language itself.
    static QString licenceName(const QString &language, const QString &country);
    // The document for a language and country: the chosen one when it exists, else English.
    using ResourceExists = std::function<bool(const QString &path)>;
    static QUrl eulaUrlFor(const QString &language, const QString &country, const ResourceExists &exists);
    // The direction of a licence document's language (English: left to right, also inside a
    // right-to-left interface); the interface's own for an address that names no language.
    static Qt::LayoutDirection documentDirection(const QUrl &document);

signals:
    void closed();
    // Closed by the person (Escape or the close control) rather than by turning to another window.
    void dismissed();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void windowDidLoad();
    void setupCloseControls();
    void onLinkClicked(const QUrl &url);

    std::unique_ptr<Ui::QSEula> ui_;
    bool hasBeenActive_ = false;
};
