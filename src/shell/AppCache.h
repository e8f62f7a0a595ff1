#pragma once
// The installer's cache folders are removed at every start. Each removal writes
// "Removing app cache from %@ ." and then either "Successfully removed app cache from %@ ." or
// "Failed to remove app cache from %@ ." with "Error: %@" (a folder that does not exist counts
// as a failure).

#include "telemetry/QSLogContext.h"

#include <QString>

namespace shell {

// "<caches folder>/<identifier>"; null when the identifier could name something other than one
// folder inside the caches folder (empty, ".", "..", or holding a "/").
QString appCachePath(const QString &cachesDirectory, const QString &identifier);

// Removes the file or folder at path recursively, never following symbolic links out of it.
// A null path (see appCachePath) is reported as a failure for the identifier given.
bool removeAppCache(const QString &path, const QString &identifier, const QSLogContext &context);

}  // namespace shell
