#pragma once
// Run-log records as "TRACE message" texts ("DEBUG Tiny Installer end", "EVT {...json...}"), and
// a check that some of them come in a given order.

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace shelltest {

inline QStringList recordsOf(const QByteArray &logText)
{
    static const QRegularExpression record(QStringLiteral(R"re("trace": "(\w+)", "message":(.*), "lang": ")re"));
    QStringList records;
    for (const QString &line : QString::fromUtf8(logText).split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch match = record.match(line);
        QString message = match.captured(2).trimmed();
        if (match.captured(1) != QLatin1String("EVT"))
            message = message.mid(1, message.size() - 2).trimmed();  // the JSON string's quotes
        if (match.hasMatch())
            records << match.captured(1) + QLatin1Char(' ') + message;
    }
    return records;
}

inline QStringList recordsIn(const QString &logPath)
{
    QFile file(logPath);
    return file.open(QIODevice::ReadOnly) ? recordsOf(file.readAll()) : QStringList();
}

// Each expected prefix matches a later record than the one before; "EVT:<name>" stands for the
// record of that analytics event.
inline ::testing::AssertionResult inOrder(const QStringList &records, const QStringList &expected)
{
    qsizetype at = 0;
    for (const QString &want : expected) {
        const bool event = want.startsWith(QLatin1String("EVT:"));
        const QString field = QStringLiteral("\"EVT\":\"%1\"").arg(want.mid(4));
        while (at < records.size() && !(event ? records.at(at).startsWith(QLatin1String("EVT ")) && records.at(at).contains(field)
                                              : records.at(at).startsWith(want)))
            ++at;
        if (at++ >= records.size())
            return ::testing::AssertionFailure() << "missing or out of order: " << want.toStdString() << "\nrecords:\n"
                                                 << records.join(QLatin1Char('\n')).toStdString();
    }
    return ::testing::AssertionSuccess();
}

}  // namespace shelltest
