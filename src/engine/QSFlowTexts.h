#pragma once
// Names the installation flow writes into the run log and its events. The function names are part
// of the log format (readers group records by them), not names of our C++ functions.

#include <QString>

namespace flowtext {

inline const QString kProductName = QStringLiteral("Corvala");

inline const QString kStart = QStringLiteral("-[QSMainController startInstallation]");
inline const QString kStartBlock = QStringLiteral("-[QSMainController startInstallation]_block_invoke");
inline const QString kQuit = QStringLiteral("-[QSMainController quitInstallation:]");
inline const QString kGenericError = QStringLiteral("-[QSMainController showGenericError:]");
inline const QString kBegin = QStringLiteral("-[QSMainController beginInstallation]");
inline const QString kFinished = QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]");
inline const QString kCompleted = QStringLiteral("-[QSMainController URLSession:task:didCompleteWithError:]");
inline const QString kUnzip = QStringLiteral("-[QSMainController unzipFileWithPath:toPath:]");
inline const QString kCopy = QStringLiteral("-[QSMainController copyAndFinishInstallation:]");
inline const QString kLaunch = QStringLiteral("-[QSMainController launchAppWithPath]");

inline const QString kPass = QStringLiteral("PASS");
inline const QString kFail = QStringLiteral("FAIL");

}  // namespace flowtext

// A run-log context for one of the function names above, at the calling line. The flow is the
// main controller's half, and its records name that file as log readers know it.
#define QS_FLOW_CONTEXT(function) QSLogContext::make("QSMainController", function, __LINE__)
