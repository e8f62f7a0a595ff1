#pragma once

#include <QByteArray>
#include <QString>

namespace demo {

// Appends `bytes` to the file at `path` (created when missing) in one write on a descriptor opened
// for appending, so records from concurrent writers never interleave.
[[nodiscard]] bool appendWhole(const QString &path, const QByteArray &bytes, QString *error);

}  // namespace demo
