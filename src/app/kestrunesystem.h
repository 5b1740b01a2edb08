#pragma once

#include <QObject>

#include <memory>

class TForm_Main;
class TInstrumentSession;
class TRemoteServer;
class TSetup_RedeRedirada;

// The whole program: the settings of its folder, the instrument session, the remote server and
// the window, built and wired here. The window draws the session and what the server announces;
// its close stops the server. Starts the remote server and the search for the instrument.
//
// Destroyed in this order: the window (closing first if nobody closed it), the server, the
// session (a scan still running ends as aborted), the settings, whose destruction writes
// RedeRedirada.ini.
class TKestruneSystem {
public:
    TKestruneSystem();
    ~TKestruneSystem();
    TKestruneSystem(const TKestruneSystem &) = delete;
    TKestruneSystem &operator=(const TKestruneSystem &) = delete;

    TSetup_RedeRedirada &Settings() { return *Setup; }
    TInstrumentSession &Session() { return *InstrumentSession; }
    TRemoteServer &RemoteServer() { return *Server; }
    TForm_Main &Window() { return *Form; }

private:
    std::unique_ptr<TSetup_RedeRedirada> Setup;
    std::unique_ptr<TInstrumentSession> InstrumentSession;
    std::unique_ptr<TRemoteServer> Server;
    std::unique_ptr<TForm_Main> Form;
};
