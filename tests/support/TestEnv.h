#pragma once
// A scratch world for one test: a FakeHost whose home and temporary folders live in a
// QTemporaryDir, bundle settings the test can edit, captured console lines, clean caches.

#include "FakeHost.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

class TestEnv {
public:
    TestEnv();
    ~TestEnv();

    FakeHost host;
    QTemporaryDir scratch;
    QStringList consoleLines;

    // The information dictionary in use; change it with setInfo / setSetting.
    static QVariantMap defaultInfo();
    void setInfo(const QVariantMap &info);
    void setSetting(const QString &key, const QVariant &value);  // inside "QSConfig"
    QVariantMap info() const { return info_; }

    QString logFilePath() const;
    QStringList logLines() const;  // CR LF-ended lines of tiny.log, without the line ends
    QString path(const QString &relative) const { return scratch.filePath(relative); }

private:
    void apply();
    QVariantMap info_;
};

// A file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether any captured console line starts with the prefix.
inline bool hasLineStartingWith(const QStringList &lines, const QString &prefix)
{
    return std::any_of(lines.begin(), lines.end(), [&prefix](const QString &line) { return line.startsWith(prefix); });
}
