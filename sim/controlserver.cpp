#include "sim/controlserver.h"

#include "sim/controlcommand.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace ksim {

ControlServer::ControlServer(VirtualInstrument &instrument, QObject *parent)
    : QObject(parent), instrument_(instrument), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &ControlServer::acceptClients);
}

ControlServer::~ControlServer() {
    server_->close();
}

bool ControlServer::listen(const QString &path, QString *error) {
    QLocalServer::removeServer(path);
    if (server_->listen(path))
        return true;
    *error = server_->errorString();
    return false;
}

void ControlServer::acceptClients() {
    while (QLocalSocket *client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this, [this, client] { serve(client); });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

void ControlServer::serve(QLocalSocket *client) {
    while (client->canReadLine()) {
        const QString line = QString::fromUtf8(client->readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const ControlResult result = ExecuteControlCommand(instrument_, line);
        client->write(result.reply.toUtf8() + '\n');
        client->flush();
        if (result.quit)
            emit quitRequested();
    }
}

} // namespace ksim
