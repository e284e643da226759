#pragma once

#include "desktop/InstanceLock.h"

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <optional>

class QLocalSocket;

namespace tesseron {

// Lets a second start of the program hand its argument ("-minimize" or an address) to the
// window that already runs. One payload per connection: a 4-byte big-endian length, then
// the bytes; the window answers with one acknowledgement byte once it has taken them.
class HandOverServer final : public QObject {
    Q_OBJECT
public:
    // The largest payload a hand-over carries; a longer one is dropped unread.
    static constexpr qsizetype kMaxPayload = 64 * 1024;

    // The per-user socket: in $XDG_RUNTIME_DIR when there is one, else the temporary
    // folder, named after the user id.
    static QString SocketName();

    explicit HandOverServer(QObject* parent = nullptr);
    // Listens on another socket path (tests use a temporary folder).
    HandOverServer(QString socketName, QObject* parent);
    ~HandOverServer() override;

    // False when another window listens (or the socket cannot be created). A socket file
    // left by a window that crashed is removed first.
    bool Listen();

signals:
    void received(const QByteArray& payload); // the payload bytes exactly

private:
    void Accept();
    void ReadFrom(QLocalSocket* client);

    QString name_;
    QLocalServer server_{this};
    // Held while listening: whoever holds it owns the socket path, so a live window's
    // socket is never replaced and a stale one can be removed safely.
    std::optional<InstanceLock> owner_;
};

// Hands `payload` to the running window. True only when a window took it; false when no
// window listens, the payload exceeds kMaxPayload, or no acknowledgement arrives
// within `timeoutMs`. Blocks the calling thread.
bool SendHandOver(const QByteArray& payload, int timeoutMs = 2000,
                  const QString& socketName = HandOverServer::SocketName());

} // namespace tesseron
