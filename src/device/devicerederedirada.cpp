#include "device/devicerederedirada.h"

#include "core/commatext.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "device/replyrecogniser.h"
#include "platform/serialcomport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>

#include <cstring>

namespace {

constexpr char CR = '\r';
constexpr int PollMs = 100;
constexpr int MinTimeOut = 1;
constexpr int ShortTimeOut = 100;
constexpr int MaxTimeOut = 60000;

int BaudRateNamed(int baud) {
    static constexpr int Standard[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                       19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (const int rate : Standard) {
        if (rate == baud)
            return rate;
    }
    return 9600;
}

} // namespace

TDevice_RedeRedirada::TDevice_RedeRedirada(QObject *parent) : QObject(parent) {}

TDevice_RedeRedirada::~TDevice_RedeRedirada() {
    if (IsOpen)
        ClosePort();
}

void TDevice_RedeRedirada::SetPortFactory(PortFactory factory) {
    MakePort = std::move(factory);
}

bool TDevice_RedeRedirada::OpenPort(const QString &name, const QString &baud) {
    if (IsOpen)
        return false;
    if (name.size() <= 3 || !name.startsWith(QLatin1String("COM")) ||
        StrToIntDef(name.mid(3), 0) < 1)
        return false;
    const int baudNumber = StrToIntDef(baud, 0);
    if (baudNumber < 100)
        return false;
    try {
        SerialPort = MakePort ? MakePort() : std::make_unique<TSerialComPort>();
        if (SerialPort) {
            SerialPort->SetPort(name);
            SerialPort->SetBaudRate(BaudRateNamed(baudNumber));
            connect(SerialPort.get(), &TComPort::RxChar, this, &TDevice_RedeRedirada::HandleRxChar);
            connect(SerialPort.get(), &TComPort::LineError, this,
                    &TDevice_RedeRedirada::HandleError);
        }
        if (SerialPort && SerialPort->Open()) {
            IsOpen = true;
            ReplyComplete = false;
            ReplyValid = false;
            BkenState = true;
            DeviceId.clear();
            for (QString &item : InfoItems)
                item.clear();
            Positions = {0, 0, 0};
            AddLog(QStringLiteral("Open <") + name + QLatin1Char(',') + baud +
                   QStringLiteral("> Success"));
            return true;
        }
    } catch (...) {
    }
    ClosePort();
    AddLog(QStringLiteral("Open Fail"));
    return false;
}

void TDevice_RedeRedirada::ClosePort() {
    if (SerialPort) {
        try {
            SerialPort->Close();
        } catch (...) {
        }
        ReleasePort();
    }
    IsOpen = false;
    ReplyComplete = false;
    ReplyValid = false;
    BkenState = false;
    AddLog(QStringLiteral("Close"));
}

void TDevice_RedeRedirada::ReleasePort() {
    TComPort *port = SerialPort.release();
    disconnect(port, nullptr, this, nullptr);
    // ClosePort may run from a handler of the port's own signal; the port then still has to
    // return from emitting it.
    if (port->Delivering())
        port->deleteLater();
    else
        delete port;
}

void TDevice_RedeRedirada::SetTimeOut(int ms) {
    if (ms < MinTimeOut)
        ms = ShortTimeOut;
    else if (ms > MaxTimeOut)
        ms = MaxTimeOut;
    ReplyTimeOut = ms;
    AddLog(QStringLiteral("Set TimeOut <") + QString::number(ms) + QLatin1Char('>'));
}

bool TDevice_RedeRedirada::LinkUsable() const {
    return IsOpen && SerialPort && SerialPort->Connected();
}

bool TDevice_RedeRedirada::ClearBuffer() {
    if (!LinkUsable())
        return false;
    bool purged = false;
    try {
        purged = SerialPort->ClearBuffer(true, true);
    } catch (...) {
    }
    if (!purged) {
        AddLog(QStringLiteral("Clear Buffer Fail"));
        return false;
    }
    RxCount = 0;
    RxBuffer.fill(0);
    AddLog(QStringLiteral("Clear Buffer Success"));
    return true;
}

bool TDevice_RedeRedirada::ShiftBuffer() {
    if (!LinkUsable())
        return false;
    if (RxCount < 2) {
        RxCount = 0;
        RxBuffer.fill(0);
    } else {
        std::memmove(RxBuffer.data(), RxBuffer.data() + 1, RxCount - 1);
        --RxCount;
    }
    AddLog(QStringLiteral("Shift Buffer Success"));
    return true;
}

bool TDevice_RedeRedirada::SendCommand(const QString &word) {
    if (!LinkUsable() || word.isEmpty())
        return false;
    return WriteLine(word, word);
}

bool TDevice_RedeRedirada::SendCommand(const QString &word, int n) {
    if (!LinkUsable() || word.isEmpty() || n < 0 || n > InfoItemCount - 1)
        return false;
    return WriteLine(word, word + QLatin1Char(' ') + QString::number(n));
}

bool TDevice_RedeRedirada::SendCommand(const QString &word, int a, int b, int c) {
    if (!LinkUsable() || word.isEmpty() || a < 0 || b < 0 || c < 0)
        return false;
    return WriteLine(word, word + QStringLiteral(" 3 ") + QString::number(a) + QLatin1Char(' ') +
                               QString::number(b) + QLatin1Char(' ') + QString::number(c));
}

bool TDevice_RedeRedirada::SendCommand(const QString &word, bool on) {
    if (!LinkUsable() || word.isEmpty())
        return false;
    return WriteLine(word, word + (on ? QStringLiteral(" 1") : QStringLiteral(" 0")));
}

bool TDevice_RedeRedirada::WriteLine(const QString &word, const QString &line) {
    LastCommand = word;
    LastLine = line;
    bool written = false;
    try {
        written = SerialPort->WriteStr(LastLine + QLatin1Char(CR));
    } catch (...) {
    }
    if (!written) {
        AddLog(QStringLiteral("Send Command Fail"));
        return false;
    }
    AddLog(QStringLiteral("Send Command <") + LastLine + QLatin1Char('>'));
    return true;
}

bool TDevice_RedeRedirada::WaitResponse(int ms) {
    // Anything may run while events are processed, the destruction of this link included;
    // after each round the link looks at itself only while it still exists.
    const QPointer<TDevice_RedeRedirada> self(this);
    ++WaitDepth;
    const auto leave = qScopeGuard([&self] {
        if (self)
            --self->WaitDepth;
    });
    try {
        ReplyComplete = false;
        ReplyValid = false;
        AddLog(QStringLiteral("Wait Response Start"));
        // A monotonic clock: a change of the wall clock must not shorten or stretch the wait.
        QElapsedTimer clock;
        clock.start();
        WaitWithEvents(UnlimitedRounds, PollMs,
                       [&] { return !self || !IsOpen || ReplyComplete || clock.elapsed() >= ms; });
        if (!self)
            return false;
        AddLog(QStringLiteral("Wait Response End"));
        return ReplyValid;
    } catch (...) {
        if (self)
            AddLog(QStringLiteral("Wait Response Fail"));
        return false;
    }
}

void TDevice_RedeRedirada::HandleRxChar(int count) {
    if (count <= 0 || !SerialPort)
        return;
    try {
        char bytes[RxBufferSize];
        const int read = SerialPort->Read(bytes, qMin(count, RxBufferSize));
        for (int i = 0; i < read && RxCount < RxBufferSize; ++i)
            RxBuffer[RxCount++] = bytes[i];
        AddLog(QStringLiteral("OnRxChar (") + QString::number(read) + QLatin1Char(')'), bytes,
               read);
        AddLog(QStringLiteral("RxBuffer (") + QString::number(RxCount) + QLatin1Char(')'),
               RxBuffer.data(), RxCount);
        ReplyComplete = CheckReply();
    } catch (...) {
    }
}

bool TDevice_RedeRedirada::CheckReply() {
    try {
        const TReplyVerdict verdict =
            RecogniseReply(LastCommand, QByteArrayView(RxBuffer.data(), RxCount));
        for (int i = 0; i < verdict.Skipped; ++i) {
            // Without an open link nothing can be dropped; the line examined last stays.
            if (!ShiftBuffer()) {
                Response = QString::fromLatin1(RxBuffer.data(), RxCount - 1);
                return false;
            }
        }
        if (verdict.Response)
            Response = *verdict.Response;
        if (verdict.Complete)
            ReplyValid = verdict.Valid;
        return verdict.Complete;
    } catch (...) {
        return false;
    }
}

void TDevice_RedeRedirada::HandleError(ComErrors errors) {
    static const struct {
        ComError kind;
        const char *line;
    } Lines[] = {{ceFrame, "+ Frame Error"},     {ceRxParity, "+ RxParity Error"},
                 {ceOverrun, "+ Overrun Error"}, {ceBreak, "+ Break Error"},
                 {ceIO, "+ IO Error"},           {ceMode, "+ Mode Error"},
                 {ceRxOver, "+ RxOver Error"},   {ceTxFull, "+ TxFull Error"}};
    AddLog(QStringLiteral("OnError"));
    for (const auto &entry : Lines) {
        if (errors.testFlag(entry.kind))
            AddLog(QString::fromLatin1(entry.line));
    }
}

bool TDevice_RedeRedirada::StartLog(const QString &folder) {
    return Log.StartLog(folder);
}

bool TDevice_RedeRedirada::AddLog(const QString &text, const char *data, int count) {
    return Log.AddLog(text, data, count);
}

bool TDevice_RedeRedirada::Exchange(const std::function<bool()> &send, int ms,
                                    const QString &failLine) {
    const QPointer<TDevice_RedeRedirada> self(this);
    ClearBuffer();
    if (!send() || !WaitResponse(ms)) {
        if (self)
            AddLog(failLine);
        return false;
    }
    return true;
}

// Every command is one exchange followed by the reading of its reply. A failure raised anywhere
// in it logs the command's failure line and counts as a failed command; `readReply` logs its own
// outcome.
bool TDevice_RedeRedirada::RunCommand(const QString &name, int ms,
                                      const std::function<bool()> &send,
                                      const std::function<bool()> &readReply) {
    if (!IsOpen)
        return false;
    const QString failLine = QStringLiteral("Command <") + name + QStringLiteral("> Fail");
    try {
        return Exchange(send, ms, failLine) && readReply();
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

bool TDevice_RedeRedirada::CommandDevice() {
    return RunCommand(
        QStringLiteral("DEVICE"), ReplyTimeOut, [this] { return SendCommand(QStringLiteral("?")); },
        [this] {
            DeviceId = Response;
            AddLog(QStringLiteral("Command <DEVICE> Success : ") + DeviceId);
            return true;
        });
}

bool TDevice_RedeRedirada::CommandHome() {
    return RunCommand(
        QStringLiteral("HOME"), HomeTimeOut,
        [this] { return SendCommand(QStringLiteral("HOME"), 3); },
        [this] {
            Positions = {0, 0, 0};
            AddLog(QStringLiteral("Command <HOME> Success : All"));
            return true;
        });
}

bool TDevice_RedeRedirada::ReadPositionReply(const QString &commandName) {
    const QStringList items = SplitCommaText(Response);
    std::array<int, AxisCount> read{-1, -1, -1};
    if (items.size() == 2 + AxisCount && StrToIntDef(items[1], -1) == 3) {
        for (int i = 0; i < AxisCount; ++i)
            read[i] = StrToIntDef(items[2 + i], -1);
    }
    for (const int position : read) {
        if (position < 0)
            return false;
    }
    Positions = read;
    AddLog(QStringLiteral("Command <") + commandName + QStringLiteral("> Success : ") +
           QString::number(Positions[0]) + QLatin1Char('/') + QString::number(Positions[1]) +
           QLatin1Char('/') + QString::number(Positions[2]));
    return true;
}

bool TDevice_RedeRedirada::CommandPos() {
    return RunCommand(
        QStringLiteral("POS"), ReplyTimeOut,
        [this] { return SendCommand(QStringLiteral("POS"), 3); },
        [this] { return ReadPositionReply(QStringLiteral("POS")); });
}

bool TDevice_RedeRedirada::CommandGo(int pos1, int pos2, int pos3) {
    for (const int position : {pos1, pos2, pos3}) {
        if (position < 0 || position > MaxPosition)
            return false;
    }
    return RunCommand(
        QStringLiteral("GO"), ReplyTimeOut,
        [&] { return SendCommand(QStringLiteral("GO"), pos1, pos2, pos3); },
        [this] { return ReadPositionReply(QStringLiteral("GO")); });
}

bool TDevice_RedeRedirada::CommandInfo(int n) {
    if (n < 0 || n >= InfoItemCount)
        return false;
    return RunCommand(
        QStringLiteral("INFO"), ReplyTimeOut,
        [&] { return SendCommand(QStringLiteral("INFO"), n); },
        [&] {
            const QStringList items = SplitCommaText(Response);
            const QString value =
                items.size() == 3 && StrToIntDef(items[1], -1) == n ? items[2] : QString();
            InfoItems[n] = value;
            AddLog(QStringLiteral("Command <INFO> Success : Read INFO") + QString::number(n + 1) +
                   QLatin1Char('=') + value);
            return true;
        });
}

bool TDevice_RedeRedirada::CommandBken(bool on) {
    return RunCommand(
        QStringLiteral("BKEN"), ReplyTimeOut,
        [&] { return SendCommand(QStringLiteral("BKEN"), on); },
        [this] {
            // The state the instrument reports decides, not the one requested.
            const QChar state = Response.size() >= 6 ? Response.at(5) : QChar();
            if (state == QLatin1Char('0') || state == QLatin1Char('1')) {
                BkenState = state == QLatin1Char('1');
                AddLog(QStringLiteral("Command <BKEN> Success : ") +
                       (BkenState ? QStringLiteral("ON") : QStringLiteral("OFF")));
                return true;
            }
            AddLog(QStringLiteral("Command <BKEN> Fail"));
            return false;
        });
}

QString TDevice_RedeRedirada::GetInfo(int n) const {
    if (n < 0 || n >= InfoItemCount)
        return QString();
    return InfoItems[n];
}
