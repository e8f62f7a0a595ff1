#include "shell/SingleInstanceMessage.h"

namespace shell {
namespace {

const QByteArray kActivate = QByteArrayLiteral("activate");
const QByteArray kOpenPrefix = QByteArrayLiteral("open ");

}  // namespace

QByteArray SingleInstanceMessage::encode(const QString &commandUrl)
{
    if (commandUrl.isNull())
        return kActivate + '\n';
    QByteArray line = kOpenPrefix + commandUrl.toUtf8();
    line.replace('\n', ' ');  // one message, one line
    return line + '\n';
}

std::optional<SingleInstanceMessage> SingleInstanceMessage::decode(const QByteArray &rawLine)
{
    QByteArray line = rawLine;
    if (line.endsWith('\r'))
        line.chop(1);
    if (line == kActivate)
        return SingleInstanceMessage{Kind::Activate, {}};
    if (line.startsWith(kOpenPrefix) && line.size() > kOpenPrefix.size())
        return SingleInstanceMessage{Kind::Open, QString::fromUtf8(line.mid(kOpenPrefix.size()))};
    return std::nullopt;
}

QList<QByteArray> SingleInstanceMessage::takeLines(QByteArray &pending)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
        if (end > start)  // a blank line carries no message: a flood of them costs nothing
            lines.append(pending.mid(start, end - start));
    }
    pending.remove(0, start);
    return lines;
}

}  // namespace shell
