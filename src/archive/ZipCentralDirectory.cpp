#include "archive/ZipCentralDirectory.h"

#include <QFile>

#include <algorithm>

namespace archives {
namespace {

constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64EndSignature = 0x06064b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr quint32 kRecordSignature = 0x02014b50;
constexpr quint32 kLocalSignature = 0x04034b50;
constexpr qint64 kEndSize = 22, kLocatorSize = 20, kZip64EndSize = 56, kRecordSize = 46, kLocalSize = 30;
constexpr qint64 kMaxComment = 0xffff;
constexpr quint16 kZip64Extra = 0x0001;

quint16 le16(const char *p)
{
    return quint16(quint8(p[0]) | quint8(p[1]) << 8);
}
quint32 le32(const char *p)
{
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}
quint64 le64(const char *p)
{
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

class Reader {
public:
    explicit Reader(const QString &path) : file_(path) {}
    bool open() { return file_.open(QIODevice::ReadOnly); }
    qint64 size() const { return file_.size(); }
    // Exactly count bytes at offset, or a null array.
    QByteArray at(quint64 offset, qint64 count)
    {
        if (count < 0 || offset > quint64(size()) || quint64(count) > quint64(size()) - offset || !file_.seek(qint64(offset)))
            return {};
        QByteArray bytes = file_.read(count);
        return bytes.size() == count ? bytes : QByteArray();
    }

private:
    QFile file_;
};

// Replaces the 32-bit fields that say "see the ZIP64 field" with the ZIP64 extra field's values,
// which come in the order size, compressed size, header offset, for those fields only.
bool applyZip64(const char *extra, qint64 length, ZipDirectoryRecord *record, bool wantSize, bool wantCompressed,
                bool wantOffset)
{
    if (!wantSize && !wantCompressed && !wantOffset)
        return true;
    for (qint64 at = 0; at + 4 <= length;) {
        const quint16 id = le16(extra + at), fieldLength = le16(extra + at + 2);
        const char *field = extra + at + 4;
        if (at + 4 + fieldLength > length)
            return false;
        if (id == kZip64Extra) {
            qint64 used = 0;
            for (auto [wanted, value] : {std::pair{wantSize, &record->size}, std::pair{wantCompressed, &record->compressedSize},
                                         std::pair{wantOffset, &record->headerOffset}}) {
                if (!wanted)
                    continue;
                if (used + 8 > fieldLength)
                    return false;
                *value = le64(field + used);
                used += 8;
            }
            return true;
        }
        at += 4 + fieldLength;
    }
    return false;
}

}  // namespace

bool ZipCentralDirectory::read(const QString &archivePath, QList<ZipDirectoryRecord> *records, QString *error)
{
    records->clear();
    auto fail = [error](const QString &why) {
        *error = QStringLiteral("central directory: %1").arg(why);
        return false;
    };
    Reader file(archivePath);
    if (!file.open())
        return fail(QStringLiteral("cannot open %1").arg(archivePath));
    const qint64 fileSize = file.size();
    if (fileSize < kEndSize)
        return fail(QStringLiteral("no end record"));

    // The end record: the last one whose comment reaches exactly to the end of the file.
    const qint64 tailSize = std::min(fileSize, kEndSize + kMaxComment);
    const QByteArray tail = file.at(quint64(fileSize - tailSize), tailSize);
    qint64 end = -1;
    for (qint64 i = tailSize - kEndSize; i >= 0 && end < 0; --i) {
        if (le32(tail.constData() + i) == kEndSignature && i + kEndSize + le16(tail.constData() + i + 20) == tailSize)
            end = i;
    }
    if (end < 0)
        return fail(QStringLiteral("no end record"));
    const char *e = tail.constData() + end;
    const quint64 endOffset = quint64(fileSize - tailSize + end);
    quint64 count = le16(e + 10), directorySize = le32(e + 12), directoryOffset = le32(e + 16);
    if (le16(e + 4) != 0 || le16(e + 6) != 0 || le16(e + 8) != le16(e + 10))
        return fail(QStringLiteral("an archive of several disks"));
    quint64 directoryEnd = endOffset;
    if (count == 0xffff || directorySize == 0xffffffff || directoryOffset == 0xffffffff) {
        const QByteArray locator = endOffset >= quint64(kLocatorSize) ? file.at(endOffset - kLocatorSize, kLocatorSize) : QByteArray();
        if (locator.isNull() || le32(locator.constData()) != kZip64LocatorSignature)
            return fail(QStringLiteral("no ZIP64 end record"));
        const quint64 zip64Offset = le64(locator.constData() + 8);
        const QByteArray zip64 = file.at(zip64Offset, kZip64EndSize);
        if (zip64.isNull() || le32(zip64.constData()) != kZip64EndSignature || zip64Offset + kZip64EndSize > endOffset - kLocatorSize)
            return fail(QStringLiteral("no ZIP64 end record"));
        count = le64(zip64.constData() + 32);
        directorySize = le64(zip64.constData() + 40);
        directoryOffset = le64(zip64.constData() + 48);
        directoryEnd = zip64Offset;
    }
    if (directoryOffset > directoryEnd || directorySize != directoryEnd - directoryOffset
        || count > directorySize / kRecordSize)
        return fail(QStringLiteral("the end record does not match the directory"));

    const QByteArray directory = file.at(directoryOffset, qint64(directorySize));
    if (directory.isNull())
        return fail(QStringLiteral("cannot read the directory"));
    qint64 at = 0;
    for (quint64 i = 0; i < count; ++i) {
        const char *r = directory.constData() + at;
        if (at + kRecordSize > directory.size() || le32(r) != kRecordSignature)
            return fail(QStringLiteral("record %1 is broken").arg(i));
        const qint64 nameLength = le16(r + 28), extraLength = le16(r + 30), commentLength = le16(r + 32);
        if (at + kRecordSize + nameLength + extraLength + commentLength > directory.size())
            return fail(QStringLiteral("record %1 is broken").arg(i));
        ZipDirectoryRecord record;
        record.crc32 = le32(r + 16);
        record.compressedSize = le32(r + 20);
        record.size = le32(r + 24);
        record.headerOffset = le32(r + 42);
        record.name = QByteArray(r + kRecordSize, nameLength);
        if (!applyZip64(r + kRecordSize + nameLength, extraLength, &record, record.size == 0xffffffff,
                        record.compressedSize == 0xffffffff, record.headerOffset == 0xffffffff))
            return fail(QStringLiteral("record %1 has a broken ZIP64 field").arg(i));
        const QByteArray local = file.at(record.headerOffset, kLocalSize);
        if (local.isNull() || le32(local.constData()) != kLocalSignature)
            return fail(QStringLiteral("no local header where record %1 says").arg(i));
        record.dataOffset = record.headerOffset + kLocalSize + le16(local.constData() + 26) + le16(local.constData() + 28);
        if (record.dataOffset > directoryOffset || record.compressedSize > directoryOffset - record.dataOffset)
            return fail(QStringLiteral("the data of record %1 reaches into the directory").arg(i));
        records->append(record);
        at += kRecordSize + nameLength + extraLength + commentLength;
    }

    // In the order of the file, each entry's data ends before the next local header begins.
    QList<const ZipDirectoryRecord *> byOffset;
    for (const ZipDirectoryRecord &record : std::as_const(*records))
        byOffset.append(&record);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const ZipDirectoryRecord *a, const ZipDirectoryRecord *b) { return a->headerOffset < b->headerOffset; });
    for (qsizetype i = 1; i < byOffset.size(); ++i) {
        const ZipDirectoryRecord *before = byOffset[i - 1];
        if (before->dataOffset + before->compressedSize > byOffset[i]->headerOffset)
            return fail(QStringLiteral("the local header of \"%1\" lies inside the data of \"%2\"")
                            .arg(QString::fromUtf8(byOffset[i]->name), QString::fromUtf8(before->name)));
    }
    return true;
}

}  // namespace archives
