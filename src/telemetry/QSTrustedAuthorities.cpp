#include "telemetry/QSTrustedAuthorities.h"

#include "platform/Host.h"
#include "telemetry/QSLogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThread>

#include <future>
#include <utility>

namespace {

struct Source {
    QString variable;
    QString path;
    bool folder;
};

QList<Source> sourcesFromEnvironment()
{
    QList<Source> sources;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty())
        sources.append({QStringLiteral("SSL_CERT_FILE"), file, false});
    for (const QString &folder : qEnvironmentVariable("SSL_CERT_DIR").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        sources.append({QStringLiteral("SSL_CERT_DIR"), folder, true});
    return sources;
}

QList<QSslCertificate> certificatesOf(const Source &source)
{
    if (source.folder)
        return QSslCertificate::fromPath(QDir(source.path).filePath(QStringLiteral("*")), QSsl::Pem,
                                         QSslCertificate::PatternSyntax::Wildcard);
    return QSslCertificate::fromPath(source.path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}

// The one reading in progress, and what waits for it. Everything but the reading itself is
// touched on the main thread only.
struct Reading {
    std::shared_future<QList<QSTrustedAuthorities::Note>> notes;
    QSLogContext context;
    bool started = false;  // once a run: the environment does not change
    bool done = true;
    QList<std::function<void()>> waiting;
};
Reading &reading()
{
    static Reading state;
    return state;
}

bool onMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// On the main thread, once: the records, then whatever waited.
void complete()
{
    Reading &state = reading();
    if (state.done)
        return;
    state.done = true;
    for (const QSTrustedAuthorities::Note &note : state.notes.get())
        note.isError ? QSLogger::error(note.message, state.context) : QSLogger::debug(note.message, state.context);
    const QList<std::function<void()>> waiting = std::exchange(state.waiting, {});
    for (const auto &run : waiting)
        run();
}

}  // namespace

void QSTrustedAuthorities::addFromEnvironment(const QSLogContext &context)
{
    QCoreApplication *app = QCoreApplication::instance();
    Reading &state = reading();
    if (!onMainThread() || state.started || sourcesFromEnvironment().isEmpty())
        return;
    state.started = true;
    if (platform::host().isSuperUser()) {
        // Nothing to read: only what is ignored is recorded, at once.
        for (const Note &note : trustEnvironmentAuthorities())
            QSLogger::debug(note.message, context);
        return;
    }
    state.done = false;
    state.context = context;
    state.notes = std::async(std::launch::async, [app] {
        QList<Note> notes = trustEnvironmentAuthorities();
        QMetaObject::invokeMethod(app, &complete, Qt::QueuedConnection);
        return notes;
    }).share();
    // The reading reports to the application object: it must end before that object does.
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { waitUntilReady(); });
}

void QSTrustedAuthorities::whenReady(std::function<void()> then)
{
    if (reading().done)
        then();
    else
        reading().waiting.append(std::move(then));
}

void QSTrustedAuthorities::waitUntilReady()
{
    if (onMainThread())
        complete();
    else if (reading().notes.valid())
        reading().notes.wait();
}

QList<QSTrustedAuthorities::Note> QSTrustedAuthorities::trustEnvironmentAuthorities(std::optional<bool> superUser)
{
    QList<Note> notes;
    // With root's rights the person's variables (kept by sudo -E or env_keep) must not choose who
    // may answer for the configuration's servers: only the system's authorities are trusted, and
    // the variables go, so that OpenSSL does not read them either.
    if (superUser.value_or(platform::host().isSuperUser())) {
        QStringList ignored;
        for (const char *variable : {"SSL_CERT_FILE", "SSL_CERT_DIR"}) {
            if (qEnvironmentVariableIsSet(variable))
                ignored.append(QString::fromLatin1(variable));
            qunsetenv(variable);
        }
        if (!ignored.isEmpty())
            notes.append({false, QStringLiteral("Ignoring %1: with administrator rights only the system's certificate authorities are trusted")
                                     .arg(ignored.join(QStringLiteral(" and ")))});
        return notes;
    }
    QList<QSslCertificate> added;
    for (const Source &source : sourcesFromEnvironment()) {
        const QList<QSslCertificate> found = certificatesOf(source);
        if (found.isEmpty()) {
            notes.append({true, QStringLiteral("%1 names no readable certificate: %2").arg(source.variable, source.path)});
            continue;
        }
        notes.append({false, QStringLiteral("Trusting %1 certificate authorities of %2 %3 besides the system's")
                                 .arg(found.size())
                                 .arg(source.variable, source.path)});
        added += found;
    }
    if (added.isEmpty())
        return notes;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // A configuration given authorities of its own no longer looks up the system's on demand, so
    // they are given in full, with ours after them.
    QList<QSslCertificate> given = configuration.caCertificates();
    if (given.isEmpty())
        given = QSslConfiguration::systemCaCertificates();
    // The system's folders hold each authority several times over (the bundle, the file, its
    // hash link); every connection adds the whole list to its store, so each goes in once.
    QList<QSslCertificate> authorities;
    QSet<QSslCertificate> seen;
    for (const QSslCertificate &certificate : given + added) {
        if (!seen.contains(certificate)) {
            seen.insert(certificate);
            authorities.append(certificate);
        }
    }
    configuration.setCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return notes;
}
