#pragma once
// One running installer per user: the first instance listens on a local socket named from the
// bundle identifier and the user, inside the user's private temporary folder; a later instance
// connects, hands over its command URL (or asks for activation) and ends.
//
// Wire format: one UTF-8 line per message, "activate" or "open <url>". Anything else, overlong
// lines and idle connections are dropped without a word.

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace shell {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,    // this process listens; it is the one instance
        HandedOver, // another instance runs and has been told; this process should end
        Alone,      // neither listening nor handing over worked; run without the rule
    };

    static constexpr qsizetype kMaxMessageBytes = 8 * 1024;
    static constexpr int kMaxConnections = 16;
    // Every connection is closed this long after it opened (a message takes milliseconds).
    static constexpr int kIdleTimeoutMs = 5000;
    static constexpr int kHandOverTimeoutMs = 2000;

    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // "<private temporary folder>/<bundle identifier>.<login name>.sock". When that does not fit
    // a socket address: a short name in the same folder; then in $XDG_RUNTIME_DIR; then in a
    // private folder "/tmp/ti-<uid>".
    static QString defaultSocketPath();
    static QString socketPathFor(const QString &directory, const QString &bundleIdentifier, const QString &login);
    static bool fitsSocketAddress(const QString &path);

    // Becomes the primary instance, or hands commandUrl (null: an activation request) to the
    // running one. A socket file left by a crashed instance is removed and taken over.
    Role claim(const QString &commandUrl);

    QString socketPath() const { return socketPath_; }

signals:
    void activateRequested();
    void commandUrlReceived(const QString &url);

private:
    bool handOver(const QString &commandUrl);
    void acceptConnections();
    void readFrom(QLocalSocket *socket);
    void handleLine(const QByteArray &line);

    QString socketPath_;
    QLocalServer *server_ = nullptr;
    int openConnections_ = 0;
};

}  // namespace shell
