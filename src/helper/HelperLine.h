#pragma once
// What the privileged helpers tell the installer: one protocol line at a time on standard output,
// flushed at once, as the installer reads each within a bound.

#include <QByteArray>
#include <QString>

#include <cstdio>

// prefix followed by text, on one line: no text carries a line break into the protocol.
inline void writeHelperLine(const QByteArray &prefix, QString text = {})
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fputs((prefix + text.toUtf8() + '\n').constData(), stdout);
    std::fflush(stdout);
}
