#include "device/devicerederedirada.h"

#include "core/commatext.h"
#include "core/numbers.h"
#include "platform/serialcomport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QThread>

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

// The minimum length and the test of the reply expected after each command word.
struct ReplyRule {
    int minLength;
    bool (*accepts)(const QString &response);
};

bool FindReplyRule(const QString &command, ReplyRule &rule) {
    if (command == QLatin1String("?"))
        rule = {15, [](const QString &r) { return r.startsWith(QLatin1String("Quilm FM Ver")); }};
    else if (command == QLatin1String("HOME"))
        rule = {1, [](const QString &r) { return r == QLatin1String("G"); }};
    else if (command == QLatin1String("POS"))
        rule = {7, [](const QString &r) { return r.startsWith(QLatin1String("POS")); }};
    else if (command == QLatin1String("GO"))
        rule = {6, [](const QString &r) { return r.startsWith(QLatin1String("GO")); }};
    else if (command == QLatin1String("INFO"))
        rule = {8, [](const QString &r) { return r.startsWith(QLatin1String("INFO")); }};
    else if (command == QLatin1String("BKEN"))
        rule = {6, [](const QString &r) { return r.startsWith(QLatin1String("BKEN")); }};
    else
        return false;
    return true;
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

QString TDevice_RedeRedirada::logFilePath() const {
    if (!LogEnabled)
        return QString();
    return LogFolder + QStringLiteral("Log ") + LogStamp + QStringLiteral(".ini");
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
        for (;;) {
            QThread::msleep(PollMs);
            QCoreApplication::processEvents();
            if (!self)
                return false;
            if (!IsOpen || ReplyComplete || clock.elapsed() >= ms)
                break;
        }
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
        while (RxCount > 1) {
            if (RxBuffer[RxCount - 1] != CR)
                return false;
            Response = QString::fromLatin1(RxBuffer.data(), RxCount - 1);
            ReplyRule rule;
            if (!FindReplyRule(LastCommand, rule) || Response.size() < rule.minLength) {
                ReplyValid = false;
                return true;
            }
            if (rule.accepts(Response)) {
                ReplyValid = true;
                return true;
            }
            // Without an open link nothing can be dropped, and the loop would never end.
            if (!ShiftBuffer())
                return false;
        }
        return false;
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
    try {
        QDir().mkpath(folder);
        LogFolder = folder;
        LogStamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        LogEnabled = true;
        return true;
    } catch (...) {
        LogEnabled = false;
        return false;
    }
}

bool TDevice_RedeRedirada::AddLog(const QString &text, const char *data, int count) {
    if (!LogEnabled)
        return false;
    try {
        static const char Hex[] = "0123456789ABCDEF";
        QByteArray line =
            QDateTime::currentDateTime().toString(QStringLiteral("[yyMMdd-HHmmss] ")).toLatin1();
        // A text with line breaks of its own (a reply of several lines, logged whole) becomes
        // several lines of the file, each ended by CR LF like every other line.
        QByteArray body = text.toLatin1();
        body.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
        line += body;
        if (count >= 1 && data) {
            line.reserve(line.size() + 4 * count + 4);
            line += " #";
            for (int i = 0; i < count; ++i) {
                const auto byte = static_cast<unsigned char>(data[i]);
                line += '{';
                line += Hex[byte >> 4];
                line += Hex[byte & 0x0F];
                line += '}';
            }
            line += '#';
        }
        line += "\r\n";
        // Appending leaves the same file as rewriting it with the new line at the end, at a
        // cost that does not grow with the log. The file is closed after every entry, so it is
        // complete on disk and can be read while the program runs.
        QFile file(logFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        const bool written = file.write(line) == line.size();
        file.close();
        return written && file.error() == QFileDevice::NoError;
    } catch (...) {
        return false;
    }
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

bool TDevice_RedeRedirada::CommandDevice() {
    if (!IsOpen)
        return false;
    const QString failLine = QStringLiteral("Command <DEVICE> Fail");
    try {
        if (!Exchange([this] { return SendCommand(QStringLiteral("?")); }, ReplyTimeOut, failLine))
            return false;
        DeviceId = Response;
        AddLog(QStringLiteral("Command <DEVICE> Success : ") + DeviceId);
        return true;
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

bool TDevice_RedeRedirada::CommandHome() {
    if (!IsOpen)
        return false;
    const QString failLine = QStringLiteral("Command <HOME> Fail");
    try {
        if (!Exchange([this] { return SendCommand(QStringLiteral("HOME"), 3); }, HomeTimeOut,
                      failLine))
            return false;
        Positions = {0, 0, 0};
        AddLog(QStringLiteral("Command <HOME> Success : All"));
        return true;
    } catch (...) {
        AddLog(failLine);
        return false;
    }
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
    if (!IsOpen)
        return false;
    const QString failLine = QStringLiteral("Command <POS> Fail");
    try {
        if (!Exchange([this] { return SendCommand(QStringLiteral("POS"), 3); }, ReplyTimeOut,
                      failLine))
            return false;
        return ReadPositionReply(QStringLiteral("POS"));
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

bool TDevice_RedeRedirada::CommandGo(int pos1, int pos2, int pos3) {
    if (!IsOpen)
        return false;
    for (const int position : {pos1, pos2, pos3}) {
        if (position < 0 || position > MaxPosition)
            return false;
    }
    const QString failLine = QStringLiteral("Command <GO> Fail");
    try {
        if (!Exchange([&] { return SendCommand(QStringLiteral("GO"), pos1, pos2, pos3); },
                      ReplyTimeOut, failLine))
            return false;
        return ReadPositionReply(QStringLiteral("GO"));
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

bool TDevice_RedeRedirada::CommandInfo(int n) {
    if (!IsOpen || n < 0 || n >= InfoItemCount)
        return false;
    const QString failLine = QStringLiteral("Command <INFO> Fail");
    try {
        if (!Exchange([&] { return SendCommand(QStringLiteral("INFO"), n); }, ReplyTimeOut,
                      failLine))
            return false;
        const QStringList items = SplitCommaText(Response);
        const QString value =
            items.size() == 3 && StrToIntDef(items[1], -1) == n ? items[2] : QString();
        InfoItems[n] = value;
        AddLog(QStringLiteral("Command <INFO> Success : Read INFO") + QString::number(n + 1) +
               QLatin1Char('=') + value);
        return true;
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

bool TDevice_RedeRedirada::CommandBken(bool on) {
    if (!IsOpen)
        return false;
    const QString failLine = QStringLiteral("Command <BKEN> Fail");
    try {
        if (!Exchange([&] { return SendCommand(QStringLiteral("BKEN"), on); }, ReplyTimeOut,
                      failLine))
            return false;
        // The state the instrument reports decides, not the one requested.
        const QChar state = Response.size() >= 6 ? Response.at(5) : QChar();
        if (state == QLatin1Char('0')) {
            BkenState = false;
            AddLog(QStringLiteral("Command <BKEN> Success : OFF"));
            return true;
        }
        if (state == QLatin1Char('1')) {
            BkenState = true;
            AddLog(QStringLiteral("Command <BKEN> Success : ON"));
            return true;
        }
        AddLog(failLine);
        return false;
    } catch (...) {
        AddLog(failLine);
        return false;
    }
}

QString TDevice_RedeRedirada::GetInfo(int n) const {
    if (n < 0 || n >= InfoItemCount)
        return QString();
    return InfoItems[n];
}
