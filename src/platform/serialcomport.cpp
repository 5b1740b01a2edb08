#include "platform/serialcomport.h"

#include "platform/comportname.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int MaxBytesPerEvent = 1024;
constexpr int WriteTimeOutMs = 2000;

// A user who is not (yet) in the device's group gets a search that never finds the instrument,
// port after port, without a word in the message bar. Standard error (the journal of a headless
// run) says why, once per device, as a warning. A port locked or held by another program is a
// different failure and stays quiet.
void SayPermissionDenied(const QString &name, const QString &device) {
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) == 0 || errno != EACCES)
        return;
    static QMutex guard;
    static QSet<QString> said;
    const QMutexLocker lock(&guard);
    if (said.contains(device))
        return;
    said.insert(device);
    QByteArray owner = "of the device";
    struct stat info {};
    if (::stat(path.constData(), &info) == 0) {
        const struct group *entry = ::getgrgid(info.st_gid);
        owner = entry ? QByteArray(entry->gr_name) : QByteArray::number(uint(info.st_gid));
    }
    std::fprintf(stderr,
                 "<4>%s (%s) cannot be opened: permission denied; the user must be in the group "
                 "%s (log in again after adding it)\n",
                 name.toUtf8().constData(), path.constData(), owner.constData());
    std::fflush(stderr);
}
} // namespace

TSerialComPort::TSerialComPort(QObject *parent) : TComPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &TSerialComPort::PortActivity);
    connect(&port_, &QSerialPort::errorOccurred, this, &TSerialComPort::PortError);
}

TSerialComPort::~TSerialComPort() = default;

bool TSerialComPort::Open() {
    if (open_)
        return false;
    const QString device = ComPortDevice(name_);
    if (device.isEmpty())
        return false;
    port_.setPortName(device);
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        if (port_.error() == QSerialPort::PermissionError)
            SayPermissionDenied(name_, device);
        return false;
    }
    open_ = true;
    lost_ = false;
    // Opening a tty raises DTR and RTS, which resets or triggers some attached equipment; the
    // link never raises them, so drop both at once. A pseudo-terminal has no modem lines and
    // refuses the request, which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(port_.handle(), TIOCMBIC, &lines);
    serial_icounter_struct counters{};
    countersValid_ = ::ioctl(port_.handle(), TIOCGICOUNT, &counters) == 0;
    if (countersValid_) {
        frame_ = counters.frame;
        parity_ = counters.parity;
        overrun_ = counters.overrun;
        break_ = counters.brk;
        bufferOverrun_ = counters.buf_overrun;
    }
    pendingErrors_ = {};
    return true;
}

bool TSerialComPort::ClearBuffer(bool input, bool output) {
    if (!port_.isOpen())
        return false;
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    return directions == QSerialPort::Directions() || port_.clear(directions);
}

bool TSerialComPort::WriteStr(const QString &text) {
    if (!port_.isOpen())
        return false;
    const QByteArray bytes = text.toLatin1();
    writing_ = true;
    bool ok = port_.write(bytes) == bytes.size();
    QElapsedTimer clock;
    clock.start();
    while (ok && port_.bytesToWrite() > 0) {
        const qint64 left = WriteTimeOutMs - clock.elapsed();
        ok = left > 0 && port_.waitForBytesWritten(int(left));
    }
    writing_ = false;
    if (!ok)
        port_.clear(QSerialPort::Output); // a later line must not carry the rest of this one
    return ok;
}

int TSerialComPort::Read(char *buffer, int count) {
    if (count <= 0 || !port_.isOpen())
        return 0;
    const qint64 n = port_.read(buffer, count);
    return n < 0 ? 0 : int(n);
}

void TSerialComPort::Close() {
    port_.close();
    open_ = false;
    lost_ = false;
    pendingErrors_ = {};
}

void TSerialComPort::PortActivity() {
    if (writing_)
        DeliverLater();
    else
        Deliver();
}

void TSerialComPort::PortError(QSerialPort::SerialPortError error) {
    // Losing the device (an unplugged adapter) or a failed read is an I/O error of the line;
    // open and write failures are reported by Open() and WriteStr().
    if (lost_ || (error != QSerialPort::ReadError && error != QSerialPort::ResourceError))
        return;
    // A vanished device stays readable with an error for ever: QSerialPort would report it at
    // every turn of the event loop. It is reported once and the device is let go (from the event
    // loop, not from inside QSerialPort's own signal).
    lost_ = true;
    pendingErrors_ |= ceIO;
    DeliverLater();
}

void TSerialComPort::DeliverLater() {
    if (deliveryPosted_)
        return;
    deliveryPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            deliveryPosted_ = false;
            Deliver();
        },
        Qt::QueuedConnection);
}

void TSerialComPort::Deliver() {
    const ComErrors errors = pendingErrors_ | NewLineErrors();
    pendingErrors_ = {};
    if (errors)
        DeliverErrors(errors);
    const qint64 waiting = port_.isOpen() ? port_.bytesAvailable() : 0;
    if (waiting > 0)
        DeliverRxChar(int(qMin<qint64>(waiting, MaxBytesPerEvent)));
    if (lost_) {
        port_.close();
        return;
    }
    // QSerialPort signals only for new bytes: whatever the receiver left gets an event of its
    // own, unless the receiver took nothing (it would only be offered the same bytes again).
    const qint64 left = port_.isOpen() ? port_.bytesAvailable() : 0;
    if (left > 0 && left < waiting)
        DeliverLater();
}

ComErrors TSerialComPort::NewLineErrors() {
    if (!countersValid_ || !port_.isOpen())
        return {};
    serial_icounter_struct counters{};
    if (::ioctl(port_.handle(), TIOCGICOUNT, &counters) != 0)
        return {};
    ComErrors errors;
    const auto note = [&errors](int now, int &seen, ComError kind) {
        if (now != seen)
            errors |= kind;
        seen = now;
    };
    note(counters.frame, frame_, ceFrame);
    note(counters.parity, parity_, ceRxParity);
    note(counters.overrun, overrun_, ceOverrun);
    note(counters.brk, break_, ceBreak);
    note(counters.buf_overrun, bufferOverrun_, ceRxOver);
    return errors;
}
