#include "ShellTestSupport.h"

#include <QRegularExpression>

namespace shelltest {

QStringList recordsOf(const QStringList &logLines)
{
    static const QRegularExpression record(
        QStringLiteral(R"re("trace": "(\w+)", "message":(.*), "lang": ")re"));
    QStringList records;
    for (const QString &line : logLines) {
        const QRegularExpressionMatch match = record.match(line);
        if (!match.hasMatch())
            continue;
        const QString trace = match.captured(1);
        QString message = match.captured(2);
        if (trace == QLatin1String("EVT")) {
            message = message.trimmed();
        } else if (message.startsWith(QLatin1String("\" ")) && message.endsWith(QLatin1Char('"'))) {
            message = message.mid(2, message.size() - 3);
        }
        records << trace + QLatin1Char(' ') + message;
    }
    return records;
}

qsizetype indexOfRecord(const QStringList &records, const QString &prefix, qsizetype from)
{
    for (qsizetype i = from; i < records.size(); ++i) {
        if (records.at(i).startsWith(prefix))
            return i;
    }
    return -1;
}

qsizetype indexOfEvent(const QStringList &records, const QString &eventName, qsizetype from)
{
    const QString field = QStringLiteral("\"EVT\":\"%1\"").arg(eventName);
    for (qsizetype i = from; i < records.size(); ++i) {
        if (records.at(i).startsWith(QLatin1String("EVT ")) && records.at(i).contains(field))
            return i;
    }
    return -1;
}

qsizetype countRecords(const QStringList &records, const QString &prefix)
{
    qsizetype count = 0;
    for (const QString &record : records)
        count += record.startsWith(prefix) ? 1 : 0;
    return count;
}

bool containsInOrder(const QStringList &records, const QStringList &expectedPrefixes, QString *why)
{
    qsizetype from = 0;
    for (const QString &expected : expectedPrefixes) {
        qsizetype at = -1;
        if (expected.startsWith(QLatin1String("EVT:")))
            at = indexOfEvent(records, expected.mid(4), from);
        else
            at = indexOfRecord(records, expected, from);
        if (at < 0) {
            if (why)
                *why = QStringLiteral("missing, or out of order: \"%1\"\nrecords:\n%2")
                           .arg(expected, records.join(QLatin1Char('\n')));
            return false;
        }
        from = at + 1;
    }
    return true;
}

}  // namespace shelltest
