#include "shell/CrashReport.h"

#include <QJsonDocument>

#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define TI_HAVE_CXXABI 1
#endif

namespace shell {
namespace {

QString thrownTypeName()
{
#ifdef TI_HAVE_CXXABI
    const std::type_info *type = abi::__cxa_current_exception_type();
    if (!type)
        return QStringLiteral("none");
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> readable(abi::__cxa_demangle(type->name(), nullptr, nullptr, &status),
                                                     std::free);
    return QString::fromUtf8(status == 0 && readable ? readable.get() : type->name());
#else
    return QStringLiteral("unknown");
#endif
}

}  // namespace

CrashReport CrashReport::fromCurrentException(QJsonObject details)
{
    CrashReport report;
    const std::exception_ptr current = std::current_exception();
    if (!current) {
        report.reason = QStringLiteral("terminate called without an active exception");
    } else {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception &exception) {
            report.reason = QString::fromUtf8(exception.what());
        } catch (...) {
            report.reason = QStringLiteral("exception of a type not derived from std::exception");
        }
    }
    details.insert(QStringLiteral("type"), current ? thrownTypeName() : QStringLiteral("none"));
    report.userInfo = QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact));
    return report;
}

}  // namespace shell
