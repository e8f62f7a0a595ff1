#include "ArchiveDownload.h"

#include <QFile>
#include <QFileInfo>
#include <QHttpServerResponder>
#include <QTcpSocket>

namespace demo {

namespace {

using Status = QHttpServerResponder::StatusCode;

void sendText(QHttpServerResponder &responder, const QString &text, Status status)
{
    responder.write((text + u'\n').toUtf8(), QByteArrayLiteral("text/plain; charset=utf-8"),
                    status);
}

}  // namespace

ArchiveDownload::ArchiveDownload(QString archivePath, DownloadFaults faults)
    : m_archivePath(std::move(archivePath)), m_faults(faults)
{
}

QString ArchiveDownload::fileName() const
{
    return QFileInfo(m_archivePath).fileName();
}

void ArchiveDownload::respond(const QString &requestedName, QHttpServerResponder &&responder)
{
    if (m_archivePath.isEmpty() || requestedName != fileName()) {
        sendText(responder, QStringLiteral("No such file: %1").arg(requestedName), Status::NotFound);
        return;
    }

    ++m_requests;
    if (m_requests <= m_faults.failFirst) {
        sendText(responder,
                 QStringLiteral("Archive not available (failure %1 of %2 set up for this run)")
                     .arg(m_requests)
                     .arg(m_faults.failFirst),
                 Status::NotFound);
        return;
    }

    if (m_faults.cutBody || m_faults.noLength)
        sendRaw(responder);
    else
        sendWhole(responder);
}

void ArchiveDownload::sendWhole(QHttpServerResponder &responder)
{
    // The responder takes the file, reads it in chunks and announces its size.
    auto *file = new QFile(m_archivePath);
    if (!file->open(QIODevice::ReadOnly)) {
        const QString reason = file->errorString();
        delete file;
        sendText(responder, QStringLiteral("Cannot read the archive %1: %2").arg(m_archivePath, reason),
                 Status::InternalServerError);
        return;
    }
    responder.write(file, QByteArrayLiteral("application/zip"));
}

void ArchiveDownload::sendRaw(QHttpServerResponder &responder)
{
    QFile file(m_archivePath);
    if (!file.open(QIODevice::ReadOnly)) {
        sendText(responder,
                 QStringLiteral("Cannot read the archive %1: %2").arg(m_archivePath, file.errorString()),
                 Status::InternalServerError);
        return;
    }
    const QByteArray body = file.readAll();

    // Written by hand: the responder's own writers always frame the body correctly.
    responder.writeStatusLine(Status::Ok);
    responder.writeHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/zip"));
    responder.writeHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
    if (m_faults.cutBody) {
        responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
        responder.writeBody(body.left(body.size() / 2));
    } else {
        responder.writeBody(body);
    }
    // Ends the connection once what is queued has gone out.
    responder.socket()->disconnectFromHost();
}

}  // namespace demo
