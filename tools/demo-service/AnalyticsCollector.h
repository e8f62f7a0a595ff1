#pragma once
// Keeps every analytics batch the installer posts. Each POST body is appended to one file exactly
// as received, followed by a line end and the separator line, so a reader splits the file on
// "\n" + kSeparator + "\n" and gets every body back byte for byte. The Content-Type of each POST
// goes, one line per POST, to the same path with ".content-type" appended.

#include <QByteArray>
#include <QString>

namespace demo {

class AnalyticsCollector {
public:
    static constexpr char kSeparator[] = "----- end of analytics batch -----";

    explicit AnalyticsCollector(QString filePath);

    bool isEnabled() const { return !m_filePath.isEmpty(); }
    QString contentTypePath() const { return m_filePath + QStringLiteral(".content-type"); }

    [[nodiscard]] bool append(const QByteArray &body, const QByteArray &contentType,
                              QString *error) const;

private:
    QString m_filePath;
};

}  // namespace demo
