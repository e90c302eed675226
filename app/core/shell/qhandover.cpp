#include "qhandover.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {
const char kAcknowledged = 'k';
constexpr int kRetryMs = 100;
// Long enough for a copy that is alive but busy to accept a connection.
constexpr int kProbeMs = 1000;

bool answers(const QString& name)
{
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(kProbeMs);
}
} // namespace

bool QHandOver::send(const QString& instance, const QByteArray& payload, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketName(instance));
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kRetryMs);
    }
    QDataStream out(&socket);
    out << payload;
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    return socket.read(1) == QByteArray(1, kAcknowledged);
}

QHandOver::QHandOver(const QString& instance, QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this))
{
    const QString name = socketName(instance);
    // No socket options: with them Qt binds elsewhere and renames over the name,
    // silently replacing whatever is there. The folder is the user's own anyway.
    if (!m_server->listen(name) && m_server->serverError() == QAbstractSocket::AddressInUseError &&
        !answers(name)) {
        QLocalServer::removeServer(name);
        m_server->listen(name);
    }
    connect(m_server, &QLocalServer::newConnection, this, &QHandOver::accept);
}

bool QHandOver::isListening() const
{
    return m_server->isListening();
}

void QHandOver::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        // A peer that never finishes must not hold a socket for the whole run.
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
    }
}

void QHandOver::read(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QByteArray payload;
    in >> payload;
    if (!in.commitTransaction())
        return; // the rest is still on its way
    socket->write(&kAcknowledged, 1);
    socket->disconnectFromServer(); // after the acknowledgement went out
    emit signal_received(payload);
}
