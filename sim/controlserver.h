#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace ksim {

class VirtualInstrument;

// Control commands over a local (Unix domain) socket: one command per line, one reply line back.
// Several controllers may connect at once.
class ControlServer : public QObject {
    Q_OBJECT

public:
    explicit ControlServer(VirtualInstrument &instrument, QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens at the socket path, replacing a stale socket left by a crashed run.
    bool listen(const QString &path, QString *error);

signals:
    void quitRequested();

private:
    void acceptClients();
    void serve(QLocalSocket *client);

    VirtualInstrument &instrument_;
    QLocalServer *server_;
};

} // namespace ksim
