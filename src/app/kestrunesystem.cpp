#include "kestrunesystem.h"

#include "console/formmain.h"
#include "platform/programfolder.h"
#include "remote/remoteserver.h"
#include "session/instrumentsession.h"
#include "setup/setuprederedirada.h"

// Creation, in this order: folder, settings, the session (its link and log, the first port to
// try, the scan worker), the remote server, the window with its panels, the server's start, the
// search.
TKestruneSystem::TKestruneSystem() {
    const QString exePath = ProgramFolder();
    Setup = std::make_unique<TSetup_RedeRedirada>(exePath, QStringLiteral("RedeRedirada.ini"));
    InstrumentSession = std::make_unique<TInstrumentSession>(*Setup, exePath);
    Server = std::make_unique<TRemoteServer>(*InstrumentSession);
    Form = std::make_unique<TForm_Main>(*InstrumentSession, Setup->DebugMode);

    TForm_Main *form = Form.get();
    TRemoteServer *server = Server.get();
    QObject::connect(server, &TRemoteServer::SetBandRequested, form,
                     &TForm_Main::ShowRemoteSetBand);
    QObject::connect(server, &TRemoteServer::ScanRequested, form, &TForm_Main::ShowRemoteScan);
    QObject::connect(server, &TRemoteServer::ResetRequested, form, &TForm_Main::ShowRemoteReset);
    QObject::connect(server, &TRemoteServer::StopRequested, form, &TForm_Main::ShowRemoteStop);
    QObject::connect(form, &TForm_Main::Closing, server, &TRemoteServer::Action_RemoteServerStop);

    Server->Action_RemoteServerStart(quint16(Setup->PortNum));
    Form->Action_ChangeMode();
    Form->Action_UpdateUI();
    InstrumentSession->StartSearch();
}

TKestruneSystem::~TKestruneSystem() {
    Form.reset();
    Server.reset();
    InstrumentSession.reset();
    Setup.reset();
}
