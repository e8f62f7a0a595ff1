#include "platform/Bundle.h"

#include "platform/Console.h"
#include "platform/PropertyListLimits.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QVariantList>

#include <plist/plist.h>

#include <memory>

namespace platform {
namespace {

// Largest Info.plist we agree to read; real ones are a few kilobytes.
constexpr qint64 kMaxPropertyListBytes = 4 * 1024 * 1024;

// A dictionary of a binary list may carry keys that are not texts; libplist aborts when asked
// to read one as a key, so such a dictionary makes the whole list unusable (*ok false).
QVariant toVariant(plist_t node, bool *ok)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant::fromValue<qulonglong>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        return text ? QString::fromUtf8(text, qsizetype(length)) : QString();
    }
    case PLIST_DATA: {
        char *bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray data(bytes, qsizetype(length));
        free(bytes);
        return data;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i)
            list.append(toVariant(plist_array_get_item(node, i), ok));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, nullptr, &value);
            if (!value)
                break;
            const plist_t keyNode = plist_dict_item_get_key(value);
            if (!keyNode || plist_get_node_type(keyNode) != PLIST_KEY) {
                *ok = false;
                break;
            }
            char *key = nullptr;
            plist_get_key_val(keyNode, &key);
            map.insert(QString::fromUtf8(key), toVariant(value, ok));
            free(key);
        }
        free(iter);
        return map;
    }
    default:
        return QVariant();
    }
}

struct MainInfoState {
    QMutex mutex;
    bool loaded = false;
    QVariantMap info;
};

MainInfoState &mainState()
{
    static MainInfoState state;
    return state;
}

QVariantMap loadMainInfo()
{
    QString error;
    const QString bundle = Bundle::mainBundlePath();
    if (!bundle.isEmpty()) {
        const QString path = bundle + QStringLiteral("/Contents/Info.plist");
        if (auto info = Bundle::readPropertyList(path, &error))
            return *info;
        console(QStringLiteral("Info.plist error: %1").arg(error));
        return {};
    }
    if (auto info = Bundle::readPropertyList(QStringLiteral(":/bundle/Info.plist"), &error))
        return *info;
    console(QStringLiteral("Info.plist error: %1").arg(error));
    return {};
}

}  // namespace

std::optional<QVariantMap> Bundle::readPropertyList(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxPropertyListBytes) {
        if (error)
            *error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(kMaxPropertyListBytes);
        return std::nullopt;
    }
    QString reason;
    auto info = parsePropertyList(file.readAll(), &reason);
    if (!info && error)
        *error = QStringLiteral("%1: %2").arg(path, reason);
    return info;
}

std::optional<QVariantMap> Bundle::parsePropertyList(const QByteArray &bytes, QString *error)
{
    if (bytes.size() > kMaxPropertyListBytes) {
        if (error)
            *error = QStringLiteral("larger than %1 bytes").arg(kMaxPropertyListBytes);
        return std::nullopt;
    }
    if (!bytes.isEmpty() && !PropertyListLimits::check(bytes, error))
        return std::nullopt;
    plist_t root = nullptr;
    if (!bytes.isEmpty())
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    std::unique_ptr<void, void (*)(plist_t)> guard(root, plist_free);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        if (error)
            *error = QStringLiteral("not a property list with a dictionary at the top");
        return std::nullopt;
    }
    bool ok = true;
    QVariantMap info = toVariant(root, &ok).toMap();
    if (!ok) {
        if (error)
            *error = QStringLiteral("a dictionary with a key that is not a text");
        return std::nullopt;
    }
    return info;
}

std::optional<QVariantMap> Bundle::infoOfBundleAt(const QString &bundlePath)
{
    return readPropertyList(bundlePath + QStringLiteral("/Contents/Info.plist"), nullptr);
}

QString Bundle::mainBundlePath()
{
    if (!QCoreApplication::instance())
        return {};
    QDir dir(QCoreApplication::applicationDirPath());
    if (dir.dirName() != QLatin1String("MacOS") || !dir.cdUp() || dir.dirName() != QLatin1String("Contents")
        || !dir.cdUp() || !dir.dirName().endsWith(QLatin1String(".app")))
        return {};
    return dir.absolutePath();
}

QVariantMap Bundle::mainInfo()
{
    MainInfoState &state = mainState();
    QMutexLocker lock(&state.mutex);
    if (!state.loaded) {
        state.info = loadMainInfo();
        state.loaded = true;
    }
    return state.info;
}

QString Bundle::bundleIdentifier()
{
    return mainInfo().value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString Bundle::shortVersion()
{
    return mainInfo().value(QStringLiteral("CFBundleShortVersionString")).toString();
}

void Bundle::setMainInfoForTesting(std::optional<QVariantMap> info)
{
    MainInfoState &state = mainState();
    QMutexLocker lock(&state.mutex);
    state.loaded = info.has_value();
    state.info = info.value_or(QVariantMap());
}

}  // namespace platform
