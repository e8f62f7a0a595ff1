#include "AnalyticsCollector.h"

#include "AppendFile.h"

namespace demo {

AnalyticsCollector::AnalyticsCollector(QString filePath) : m_filePath(std::move(filePath)) {}

bool AnalyticsCollector::append(const QByteArray &body, const QByteArray &contentType,
                                QString *error) const
{
    QByteArray record = body;
    record += '\n';
    record += kSeparator;
    record += '\n';
    if (!appendWhole(m_filePath, record, error))
        return false;
    return appendWhole(contentTypePath(), contentType + '\n', error);
}

}  // namespace demo
