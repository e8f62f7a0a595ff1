#include "ui/QSEula.h"

#include "ui_QSEula.h"

#include "config/QSConfigProvider.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/Localization.h"
#include "telemetry/QSSystemInfo.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "ui/QSStyle.h"
#include "ui/QSTextFormat.h"
#include "ui/QSWindowPlacement.h"
#include "ui/accessibility/QSAccessibility.h"
#include "ui/widgets/QSButton.h"

#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QLocale>
#include <QShortcut>
#include <QTextBrowser>

namespace {

QString resourcePathFor(const QString &name)
{
    return QStringLiteral(":/licences/%1_EULA.html").arg(name);
}

QUrl qrcUrlFor(const QString &resourcePath)
{
    // ":/licences/x.html" -> "qrc:/licences/x.html"
    return QUrl(QStringLiteral("qrc") + resourcePath);
}

}  // namespace

QSEula::QSEula(QWidget *parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::QSEula>())
{
    ui_->setupUi(this);
    // A dialog of the main window (its transient child): in front of it, not of other applications.
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    windowDidLoad();
    setupCloseControls();
}

QSEula::~QSEula() = default;

QString QSEula::licenceName(const QString &language, const QString &country)
{
    if (language == QLatin1String("zh-Hant") || language == QLatin1String("zh-Hant-TW"))
        return QStringLiteral("zh-TW");
    if (language == QLatin1String("zh") && country == QLatin1String("TW"))
        return QStringLiteral("zh-TW");
    if (language.contains(QLatin1String("zh")))
        return QStringLiteral("zh");
    return language;
}

QUrl QSEula::eulaUrlFor(const QString &language, const QString &country, const ResourceExists &exists)
{
    const QString chosen = resourcePathFor(licenceName(language, country));
    if (exists(chosen))
        return qrcUrlFor(chosen);
    const QString english = resourcePathFor(QStringLiteral("en"));
    if (exists(english))
        return qrcUrlFor(english);
    return {};
}

QUrl QSEula::getEulaURL() const
{
    return eulaUrlFor(QSSystemInfo::getLanguage(), QSSystemInfo::getCountry(),
                      [](const QString &path) { return QFile::exists(path); });
}

void QSEula::windowDidLoad()
{
    const QString vendor = QSConfigProvider::getStringFromPlist(QStringLiteral("VENDOR_NAME"));
    setWindowTitle(replacingPlaceholder(platform::localizedString("QSLicenceTextPart2"), vendor));

    QTextBrowser *browser = ui_->webView;
    browser->setOpenLinks(false);
    browser->setOpenExternalLinks(false);
    browser->setFont(QSFonts::font(QStringLiteral("CommonSans-Regular"), 14));
    browser->document()->setDocumentMargin(28);
    browser->setAccessibleName(windowTitle());

    const QUrl url = getEulaURL();
    // The document's own direction, not the interface's: the English licence shown to a Hebrew
    // reader is still English, left to right with its scroll bar on the right.
    const Qt::LayoutDirection direction = documentDirection(url);
    browser->setLayoutDirection(direction);
    QTextOption option = browser->document()->defaultTextOption();
    option.setTextDirection(direction);
    browser->document()->setDefaultTextOption(option);
    if (url.isEmpty()) {
        platform::console(QStringLiteral("No licence document in the bundle"));
        browser->setPlainText(windowTitle());
    } else {
        browser->setSource(url, QTextDocument::HtmlResource);
    }
    // Connected after the document was requested, so only the user's clicks reach the handler.
    connect(browser, &QTextBrowser::anchorClicked, this, &QSEula::onLinkClicked);
    // Tab selects the document's links one by one (Qt moves its cursor without a signal): a screen
    // reader hears each.
    browser->installEventFilter(this);
}

Qt::LayoutDirection QSEula::documentDirection(const QUrl &document)
{
    // ".../<name>_EULA.html": the name is the language the document is written in.
    const QString file = document.path().section(QLatin1Char('/'), -1);
    const QString name = file.section(QStringLiteral("_EULA"), 0, 0);
    if (name.isEmpty())
        return QGuiApplication::layoutDirection();
    return QLocale(name).textDirection();
}

void QSEula::setupCloseControls()
{
    // A close control of the window's own, for the keyboard and for window managers that draw no
    // title bar; Escape closes as well.
    // The row under the document is as white as the document.
    setBackgroundColor(this, Qt::white);
    QSButton *close = ui_->closeButton;
    close->setText(platform::localizedString("MessageClose"));
    close->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 14), QSColor::hex(QStringLiteral("#FFFFFF")));
    close->setLayerBackgroundColor(QSColor::hex(QStringLiteral("#2F3034")));
    close->setCornerRadius(20);
    const auto dismiss = [this] {
        closeWindow();
        emit dismissed();
    };
    connect(close, &QPushButton::clicked, this, dismiss);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, dismiss);
    setTabOrder(ui_->webView, close);
}

void QSEula::onLinkClicked(const QUrl &link)
{
    const QUrl url = ui_->webView->source().resolved(link);
    // A jump inside the document stays in the window; everything else goes to the browser.
    if (url.matches(ui_->webView->source(), QUrl::RemoveFragment)) {
        if (url.hasFragment())
            ui_->webView->scrollToAnchor(url.fragment());
        return;
    }
    platform::host().openUrl(url);
}

void QSEula::showWindow(QWidget *sender)
{
    Q_UNUSED(sender);
    QSWindowPlacement::centreOver(*this, parentWidget());
    show();
    raise();
    activateWindow();
    // The keyboard starts in the document, so a screen reader reads it out when the window opens.
    ui_->webView->setFocus(Qt::OtherFocusReason);
}

void QSEula::closeWindow()
{
    close();
}

QTextBrowser *QSEula::webView() const
{
    return ui_->webView;
}

void QSEula::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow()) {
        hasBeenActive_ = true;
    } else if (hasBeenActive_ && isVisible()) {
        // The user turned to another window: the licence window goes away.
        hasBeenActive_ = false;
        closeWindow();
    }
}

bool QSEula::eventFilter(QObject *watched, QEvent *event)
{
    // Queued: the browser handles the key first, and Qt tells readers about the document's own
    // focus before the link's.
    if (watched == ui_->webView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            QMetaObject::invokeMethod(ui_->webView, [browser = ui_->webView] { QSAccessibility::announceFocusedChild(browser); },
                                      Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void QSEula::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}
