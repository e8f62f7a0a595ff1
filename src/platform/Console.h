#pragma once
// The system console: short diagnostic lines for the person running the installer, one line on
// standard error per message, written with a single call so that lines never interleave.

#include <QString>

#include <functional>

namespace platform {

void console(const QString &message);

// Tests capture console lines; nullptr restores standard error.
using ConsoleSink = std::function<void(const QString &)>;
void setConsoleSink(ConsoleSink sink);

}  // namespace platform
