#include "telemetry/QSHttp.h"

#include "telemetry/QSProxy.h"
#include "telemetry/QSTrustedAuthorities.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace {

// The read buffer of a reply: data is taken out on every readyRead, so this only bounds what Qt
// holds between two of them.
constexpr qint64 kReadBufferBytes = 1 << 20;

std::optional<QSHttp::Timeouts> &timeoutOverride()
{
    static std::optional<QSHttp::Timeouts> value;
    return value;
}

QString durationText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

}  // namespace

bool QSHttp::isConnectionFailure(int networkError)
{
    // Qt's network-layer errors (refused, closed, host not found, time-out, cancelled, TLS,
    // temporary failure...) are numbered 1 to 99. Everything else that comes with a status is
    // Qt's reading of the status itself (400 as "invalid operation", 407 as a proxy error, 418 as
    // unknown content, and so on): the answer arrived.
    return networkError >= 1 && networkError <= 99;
}

namespace {

QNetworkAccessManager *mainManager()
{
    // Owned by the application object, so it goes before the event loop's machinery does.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        QSProxy::useSystemProxy(*manager);
    }
    return manager;
}

struct Transfer {
    QSHttp::Options options;
    QSHttp::Completion completion;
    QByteArray body;
    QString timeoutReason;  // set when one of our timers ended the request
    bool tooLarge = false;
    bool done = false;
};

// Appends what the reply has ready; stops the transfer when the body passes its cap.
void drain(QNetworkReply *reply, Transfer &state)
{
    if (state.tooLarge)
        return;
    const QByteArray chunk = reply->readAll();
    const qint64 cap = state.options.maxBodyBytes;
    if (cap >= 0 && state.body.size() + chunk.size() > cap) {
        state.body.append(chunk.left(cap - state.body.size()));
        state.tooLarge = true;
        reply->abort();
        return;
    }
    state.body.append(chunk);
}

QSHttp::Result resultOf(QNetworkReply *reply, Transfer &state)
{
    QSHttp::Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.statusCode = status.isValid() ? status.toInt() : 0;
    if (!state.timeoutReason.isNull()) {
        result.statusCode = 0;
        result.error = QSNetworkError{int(QNetworkReply::TimeoutError), state.timeoutReason};
        return result;
    }
    const QNetworkReply::NetworkError error = reply->error();
    // Any status is an answer; only a connection that broke (before the status or in the body)
    // is not.
    const bool answered = error == QNetworkReply::NoError || state.tooLarge ||
                          (result.statusCode != 0 && !QSHttp::isConnectionFailure(int(error)));
    if (!answered) {
        result.statusCode = 0;
        result.error = QSNetworkError{int(error), reply->errorString()};
        return result;
    }
    // Qt can end a reply without an error when the server closes or resets the connection in the
    // middle of the body. An answer shorter than its announced length is a transport failure,
    // never a complete body. (With a content coding the length is that of the coded bytes.)
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray coding = reply->rawHeader("Content-Encoding");
    if (!state.tooLarge && announced.isValid() && (coding.isEmpty() || coding == "identity") &&
        state.body.size() < announced.toLongLong()) {
        result.statusCode = 0;
        result.error = QSNetworkError{int(QNetworkReply::RemoteHostClosedError),
                                      QStringLiteral("The connection ended after %1 of %2 bytes of the answer.")
                                          .arg(QString::number(state.body.size()), announced.toString())};
        return result;
    }
    result.data = state.body.isNull() ? QByteArray("") : state.body;  // an answer always has data
    result.bodyTooLarge = state.tooLarge;
    return result;
}

QNetworkReply *send(QNetworkAccessManager &manager, const QNetworkRequest &request, const QByteArray &method,
                    const QByteArray &body)
{
    if (method == "GET")
        return manager.get(request);
    if (method == "PUT")
        return manager.put(request, body);
    if (method == "POST")
        return manager.post(request, body);
    return manager.sendCustomRequest(request, method, body);
}

void launch(QNetworkAccessManager &manager, QNetworkRequest request, const QByteArray &method,
            const QByteArray &body, const QSHttp::Options &options, QSHttp::Completion completion)
{
    auto state = std::make_shared<Transfer>();
    state->options = options;
    if (timeoutOverride())
        state->options.timeouts = *timeoutOverride();
    state->completion = std::move(completion);

    // No cache policy of our own goes on the wire: Qt's AlwaysNetwork would add "Cache-Control:
    // no-cache" and "Pragma: no-cache", which send a CDN back to the origin. The managers have no
    // cache, so every answer comes from the network all the same, and none is kept.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply *reply = send(manager, request, method, body);
    reply->setReadBufferSize(kReadBufferBytes);

    auto *idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->setInterval(state->options.timeouts.idle);
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    deadline->setInterval(state->options.timeouts.deadline);

    const auto stop = [reply, state](const QString &reason) {
        if (state->done || !state->timeoutReason.isNull())
            return;
        state->timeoutReason = reason;
        reply->abort();
    };
    QObject::connect(idle, &QTimer::timeout, reply, [stop, state] {
        stop(QStringLiteral("The request timed out: nothing was sent or received for %1.")
                 .arg(durationText(state->options.timeouts.idle)));
    });
    QObject::connect(deadline, &QTimer::timeout, reply, [stop, state] {
        stop(QStringLiteral("The request timed out: it did not finish within %1.")
                 .arg(durationText(state->options.timeouts.deadline)));
    });
    // Qt hands the read limit to its HTTP thread only once that thread has taken the request up.
    // For a request with a body Qt starts it from a queued call, and a limit set before is lost:
    // a fast server's answer could then be read whole into memory. A queued call of ours runs
    // right after Qt's, before the request can even be sent, so the limit is in force before any
    // answer arrives. Setting it again when the upload moves and when the answer's head arrives
    // covers a start that takes more than one step.
    const auto limitReading = [reply] { reply->setReadBufferSize(kReadBufferBytes); };
    QMetaObject::invokeMethod(reply, limitReading, Qt::QueuedConnection);
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, limitReading, Qt::SingleShotConnection);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, limitReading, Qt::SingleShotConnection);
    // Any progress either way restarts the idle time-out.
    QObject::connect(reply, &QNetworkReply::uploadProgress, idle, [idle] { idle->start(); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, idle, [idle] { idle->start(); });
    QObject::connect(reply, &QIODevice::readyRead, reply, [reply, state] { drain(reply, *state); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, idle, deadline] {
        if (state->done)
            return;
        state->done = true;
        idle->stop();
        deadline->stop();
        if (state->timeoutReason.isNull())
            drain(reply, *state);
        const QSHttp::Result result = resultOf(reply, *state);
        reply->deleteLater();
        if (state->completion)
            state->completion(result);
    });
    idle->start();
    deadline->start();
}

}  // namespace

void QSHttp::start(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body,
                   const Options &options, Completion completion)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        // Without an application there is no main thread loop to answer on; say so at once.
        Result result;
        result.error = QSNetworkError{int(QNetworkReply::UnknownNetworkError),
                                      QStringLiteral("No application event loop to run the request on.")};
        if (completion)
            completion(result);
        return;
    }
    auto begin = [request, method, body, options, completion = std::move(completion)]() mutable {
        // Not before the authorities that the environment names are trusted.
        QSTrustedAuthorities::whenReady([request, method, body, options, completion = std::move(completion)]() mutable {
            launch(*mainManager(), request, method, body, options, std::move(completion));
        });
    };
    if (QThread::currentThread() == app->thread())
        begin();
    else
        QMetaObject::invokeMethod(app, std::move(begin), Qt::QueuedConnection);
}

void QSHttp::prepare(const QUrl &url)
{
    if (!QCoreApplication::instance() || !url.isValid())
        return;
    // The pool is waited for when the application object ends, so the lookup never outlives it.
    QThreadPool::globalInstance()->start([url] { QSProxy::proxyFor(url); });
}

QSHttp::Result QSHttp::run(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body,
                           const Options &options)
{
    struct Wait {
        std::optional<Result> result;
        QEventLoop *loop = nullptr;
    };
    QSTrustedAuthorities::waitUntilReady();
    auto wait = std::make_shared<Wait>();
    QEventLoop loop;
    wait->loop = &loop;

    // A manager of this call alone: it works on whichever thread waits, and leaves nothing behind.
    QNetworkAccessManager manager;
    QSProxy::useSystemProxy(manager);
    launch(manager, request, method, body, options, [wait](const Result &result) {
        wait->result = result;
        if (wait->loop)
            wait->loop->quit();
    });
    if (!wait->result) {
        // The reply's own deadline ends the wait; this guard only covers a reply that fails to
        // finish after being aborted.
        const Timeouts timeouts = timeoutOverride().value_or(options.timeouts);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(timeouts.deadline + std::chrono::seconds(1));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    wait->loop = nullptr;
    if (wait->result)
        return *wait->result;
    Result stuck;
    stuck.error = QSNetworkError{int(QNetworkReply::TimeoutError),
                                 QStringLiteral("The request timed out and could not be ended.")};
    return stuck;
}

void QSHttp::setHeader(QNetworkRequest &request, const QByteArray &name, const QString &value)
{
    if (value.isNull())
        return;
    QString clean;
    clean.reserve(value.size());
    for (const QChar c : value) {
        if (c.category() != QChar::Other_Control)
            clean.append(c);
    }
    // A set but empty value is sent as an empty field, not dropped.
    QByteArray bytes = clean.toUtf8();
    if (bytes.isNull())
        bytes = QByteArray("");
    request.setRawHeader(name, bytes);
}

void QSHttp::overrideTimeoutsForTesting(std::optional<Timeouts> timeouts)
{
    timeoutOverride() = timeouts;
}
