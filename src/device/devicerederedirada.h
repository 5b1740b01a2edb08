#pragma once

#include "device/commlog.h"
#include "platform/comport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

// The link with the wave selector: opens the serial port, frames command lines, collects reply
// bytes, recognises the reply expected for the last command and traces everything to the
// communication log (TCommLog). Everything runs on the user-interface thread; WaitResponse
// processes events while it waits, so any handler (even the owner's destruction) may run inside it.
class TDevice_RedeRedirada : public QObject {
    Q_OBJECT
public:
    static constexpr int RxBufferSize = 1024;
    static constexpr int InfoItemCount = 5;
    static constexpr int AxisCount = 3;
    static constexpr int MaxPosition = 6000;
    static constexpr int HomeTimeOut = 15000;

    using PortFactory = std::function<std::unique_ptr<TComPort>()>;

    explicit TDevice_RedeRedirada(QObject *parent = nullptr);
    ~TDevice_RedeRedirada() override;

    // Link primitives.
    bool OpenPort(const QString &name, const QString &baud = QStringLiteral("38400"));
    void ClosePort();
    void SetTimeOut(int ms);
    bool ClearBuffer();
    bool ShiftBuffer();
    bool SendCommand(const QString &word);
    bool SendCommand(const QString &word, int n);
    bool SendCommand(const QString &word, int a, int b, int c);
    bool SendCommand(const QString &word, bool on);
    bool WaitResponse(int ms);
    bool CheckReply();
    void HandleRxChar(int count);
    void HandleError(ComErrors errors);

    // Communication log.
    bool StartLog(const QString &folder);
    bool AddLog(const QString &text, const char *data = nullptr, int count = 0);

    // Instrument commands.
    bool CommandDevice();
    bool CommandHome();
    bool CommandPos();
    bool CommandGo(int pos1, int pos2, int pos3);
    bool CommandInfo(int n);
    bool CommandBken(bool on);
    QString GetInfo(int n) const;

    bool isOpen() const { return IsOpen; }
    int replyTimeOut() const { return ReplyTimeOut; }
    QString response() const { return Response; }
    int rxCount() const { return RxCount; }
    // The RxCount bytes held, oldest first.
    QByteArray rxBuffer() const { return QByteArray(RxBuffer.data(), RxCount); }
    QString lastCommand() const { return LastCommand; }
    QString lastLine() const { return LastLine; }
    bool replyComplete() const { return ReplyComplete; }
    bool replyValid() const { return ReplyValid; }
    // An exchange is waiting for its reply. Its wait processes events, so a handler that runs
    // meanwhile can see that the link is taken.
    bool isAwaitingReply() const { return WaitDepth > 0; }
    bool bkenState() const { return BkenState; }
    QString deviceId() const { return DeviceId; }
    std::array<int, AxisCount> positions() const { return Positions; }
    bool logEnabled() const { return Log.enabled(); }
    QString logFolder() const { return Log.folder(); }
    QString logStamp() const { return Log.stamp(); }
    // The file the log writes to; empty until StartLog has run.
    QString logFilePath() const { return Log.filePath(); }

    // Test seam: the factory that makes the port object at each OpenPort (default: the system's
    // serial port).
    void SetPortFactory(PortFactory factory);

private:
    void ReleasePort();
    bool LinkUsable() const;
    bool WriteLine(const QString &word, const QString &line);
    bool Exchange(const std::function<bool()> &send, int ms, const QString &failLine);
    bool RunCommand(const QString &name, int ms, const std::function<bool()> &send,
                    const std::function<bool()> &readReply);
    bool ReadPositionReply(const QString &commandName);

    std::unique_ptr<TComPort> SerialPort;
    TCommLog Log;
    QString LastCommand;
    QString LastLine;
    int ReplyTimeOut = 1000;
    int RxCount = 0;
    std::array<char, RxBufferSize> RxBuffer{};
    QString Response;
    bool IsOpen = false;
    bool ReplyComplete = false;
    bool ReplyValid = false;
    int WaitDepth = 0; // WaitResponse calls on the stack
    bool BkenState = true;
    QString DeviceId;
    std::array<QString, InfoItemCount> InfoItems;
    std::array<int, AxisCount> Positions{};

    PortFactory MakePort;
};
