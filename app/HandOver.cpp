#include "app/HandOver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

namespace tesseron {

namespace {

constexpr char kAck = '\x06';
constexpr qsizetype kHeaderSize = 4;
// A client that connects and then stalls is dropped after this long.
constexpr int kClientTimeoutMs = 5000;

// Only the user who runs the window may hand it anything, and a hand-over only goes to a
// window of the same user, even where the socket lives in a shared temporary folder.
bool PeerIsThisUser(const QLocalSocket& socket) {
    ucred cred{};
    socklen_t size = sizeof cred;
    const auto fd = static_cast<int>(socket.socketDescriptor());
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return false;
    return cred.uid == ::geteuid();
}

} // namespace

QString HandOverServer::SocketName() {
    // The runtime folder is private to the user; the temporary folder is the fallback.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/tesseron-") + QString::number(::geteuid());
}

HandOverServer::HandOverServer(QObject* parent) : HandOverServer(SocketName(), parent) {}

HandOverServer::HandOverServer(QString socketName, QObject* parent)
    : QObject(parent), name_(std::move(socketName)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &HandOverServer::Accept);
}

HandOverServer::~HandOverServer() {
    // Remove the socket file while still owning the path.
    server_.close();
}

bool HandOverServer::Listen() {
    if (server_.isListening()) return true;
    // Qt would silently replace a live socket file, so ownership is settled by the lock.
    owner_ = tesseron::InstanceLock::TryAcquire((name_ + QStringLiteral(".lock")).toStdString());
    if (!owner_) return false;
    QLocalServer::removeServer(name_); // a crashed window's socket file
    if (server_.listen(name_)) return true;
    owner_.reset();
    return false;
}

void HandOverServer::Accept() {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        if (!PeerIsThisUser(*client)) {
            client->abort();
            client->deleteLater();
            continue;
        }
        QTimer::singleShot(kClientTimeoutMs, client, [client] {
            client->abort();
            client->deleteLater();
        });
        connect(client, &QLocalSocket::readyRead, this, [this, client] { ReadFrom(client); });
    }
}

void HandOverServer::ReadFrom(QLocalSocket* client) {
    // The bytes gathered so far live on the socket itself until the payload is complete.
    QByteArray buffer = client->property("handOverBuffer").toByteArray();
    // Never read more than one header, one largest payload and one byte to tell excess.
    const qsizetype room = kHeaderSize + kMaxPayload + 1 - buffer.size();
    buffer += client->read(std::max<qsizetype>(room, 0));
    const auto drop = [client] {
        client->abort();
        client->deleteLater();
    };
    if (buffer.size() < kHeaderSize) {
        client->setProperty("handOverBuffer", buffer);
        return;
    }
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > static_cast<quint32>(kMaxPayload)) return drop();
    const qsizetype total = kHeaderSize + static_cast<qsizetype>(length);
    if (buffer.size() > total) return drop(); // more than one payload: malformed
    if (buffer.size() < total) {
        client->setProperty("handOverBuffer", buffer);
        return;
    }
    client->setProperty("handOverBuffer", QVariant());
    client->disconnect(this); // whatever follows the payload is ignored
    // Acknowledge before handing on, so the sender never waits on what the window does.
    client->write(&kAck, 1);
    client->flush();
    client->disconnectFromServer();
    emit received(buffer.mid(kHeaderSize));
}

bool SendHandOver(const QByteArray& payload, int timeoutMs, const QString& socketName) {
    if (payload.size() > HandOverServer::kMaxPayload) return false;
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
    QLocalSocket socket;
    socket.connectToServer(socketName);
    if (!socket.waitForConnected(remaining()) || !PeerIsThisUser(socket)) return false;

    QByteArray message(kHeaderSize, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), message.data());
    message += payload;
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !socket.waitForBytesWritten(remaining())) return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(remaining())) return false;
    }
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == kAck;
}

} // namespace tesseron
