#include "sim/virtualinstrument.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace ksim {

namespace {

// A request line never gets this long; a sender that never ends its line must not grow us.
constexpr int kMaxLine = 1024;

QByteArray Noise(int count) {
    static const QByteArray alphabet = "#~%&*@!$^+=";
    QByteArray noise;
    for (int i = 0; i < count; ++i)
        noise += alphabet[i % alphabet.size()];
    return noise;
}

QVector<QByteArray> Split(const QByteArray &bytes, int pieces) {
    pieces = std::clamp(pieces, 1, std::max(1, int(bytes.size())));
    QVector<QByteArray> parts;
    int from = 0;
    for (int i = 0; i < pieces; ++i) {
        const int to = int((qint64(bytes.size()) * (i + 1)) / pieces);
        parts.append(bytes.mid(from, to - from));
        from = to;
    }
    return parts;
}

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
}

} // namespace

VirtualInstrument::VirtualInstrument(const InstrumentProfile &profile, QObject *parent)
    : QObject(parent), model_(profile), table_(CalTable::generate(profile)) {
    // Working times are lower bounds that tests rely on; a coarse timer may fire early.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &VirtualInstrument::writeNextPiece);
    drainTimer_.setInterval(10);
    connect(&drainTimer_, &QTimer::timeout, this, &VirtualInstrument::unplugWhenDrained);
}

VirtualInstrument::~VirtualInstrument() {
    closePty();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
}

bool VirtualInstrument::plug() {
    if (isPlugged())
        return true;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    // Without raw mode the line discipline would echo and translate what we write.
    MakeRaw(slave);
    MakeRaw(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // A program started from here (or a test's child process) must not inherit the device.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    masterFd_ = master;
    slaveFd_ = slave;
    devicePath_ = QString::fromLocal8Bit(name);
    notifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &VirtualInstrument::readMaster);
    pointLink();
    emit pluggedIn(devicePath_);
    return true;
}

void VirtualInstrument::unplug(UnplugMode mode) {
    if (!isPlugged())
        return;
    timer_.stop();
    drainTimer_.stop();
    unplugging_ = false;
    queue_.clear();
    pieces_.clear();
    busy_ = false;
    lineBuffer_.clear();
    faults_.unplugAfter = 0; // a countdown ends with the unplug it was for
    closePty();
    if (mode == UnplugMode::RemoveLink && !linkPath_.isEmpty())
        QFile::remove(linkPath_);
    emit unpluggedOut();
}

bool VirtualInstrument::setLink(const QString &linkPath) {
    if (!linkPath_.isEmpty() && linkPath_ != linkPath)
        QFile::remove(linkPath_);
    linkPath_ = linkPath;
    return pointLink();
}

bool VirtualInstrument::recordTo(const QString &path) {
    recordFile_.close();
    if (path == QLatin1String("-"))
        return recordFile_.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    recordFile_.setFileName(path);
    return recordFile_.open(QIODevice::WriteOnly | QIODevice::Append);
}

void VirtualInstrument::clearRecords() {
    records_.clear();
    counts_.fill(0);
    goMismatches_ = 0;
}

void VirtualInstrument::readMaster() {
    char buffer[512];
    while (isPlugged()) {
        const ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            notifier_->setEnabled(false); // the line is dead; unplug or plug again to recover
            return;
        }
        for (ssize_t i = 0; i < n && isPlugged(); ++i) {
            if (buffer[i] == '\r') {
                const QByteArray line = lineBuffer_;
                lineBuffer_.clear();
                takeLine(line);
            } else if (lineBuffer_.size() < kMaxLine) {
                lineBuffer_ += buffer[i];
            } else {
                lineBuffer_.clear();
            }
        }
    }
}

void VirtualInstrument::takeLine(const QByteArray &line) {
    RequestRecord record;
    record.monotonicMs = MonotonicMs();
    record.wallTime = QDateTime::currentDateTime();
    record.kind = ClassifyRequest(line);
    record.text = line;
    if (record.kind == RequestKind::Go && table_) {
        const std::optional<Positions> values = ParseGo(line);
        const std::optional<CalTable::CellRef> cell = values ? table_->find(*values) : std::nullopt;
        record.check = cell ? QStringLiteral("cell=%1/%2")
                                  .arg(table_->cwText(cell->row), table_->fwhmText(cell->column))
                            : QStringLiteral("mismatch");
    }
    ++counts_[static_cast<int>(record.kind)];
    records_.append(record);
    if (recordFile_.isOpen()) {
        recordFile_.write(FormatRecord(record).toLatin1() + '\n');
        recordFile_.flush();
    }
    const bool mismatch = record.check == QLatin1String("mismatch");
    if (mismatch)
        ++goMismatches_;
    queue_.append(line);
    emit requestReceived(record);
    if (mismatch)
        emit goMismatch(record);
    serveNext();
}

void VirtualInstrument::serveNext() {
    while (!busy_ && !unplugging_ && !queue_.isEmpty() && isPlugged()) {
        const QByteArray line = queue_.takeFirst();
        if (faults_.unanswered != 0) {
            if (faults_.unanswered > 0)
                --faults_.unanswered;
            requestDone();
            continue;
        }
        const Answer answer = model_.handle(line, faults_);
        if (!answer.replies) {
            requestDone();
            continue;
        }
        QByteArray bytes = Noise(faults_.noiseBytes);
        if (faults_.echo)
            bytes += line + '\r';
        bytes += answer.text + (faults_.crlf ? "\r\n" : "\r");
        pieces_ = Split(bytes, faults_.splitPieces);
        busy_ = true;
        timer_.start(std::max(0, answer.busyMs + faults_.extraDelayMs));
    }
}

void VirtualInstrument::writeNextPiece() {
    if (pieces_.isEmpty())
        return;
    writeMaster(pieces_.takeFirst());
    if (!pieces_.isEmpty()) {
        timer_.start(std::max(0, faults_.splitPauseMs));
        return;
    }
    busy_ = false;
    requestDone();
    serveNext();
}

void VirtualInstrument::requestDone() {
    if (faults_.unplugAfter > 0 && --faults_.unplugAfter == 0) {
        unplugging_ = true;
        unplugDeadlineMs_ = MonotonicMs() + 2000;
        drainTimer_.start();
    }
}

// Closing the master discards what the slave has not read yet, so the last counted reply would
// never arrive. Wait until the program has read it (the bytes may still be on their way into the
// slave's queue for a moment after the write), or give up after a while when nobody reads.
void VirtualInstrument::unplugWhenDrained() {
    int waiting = 0;
    const qint64 now = MonotonicMs();
    const bool drained =
        ::ioctl(slaveFd_, FIONREAD, &waiting) == 0 && waiting == 0 && now - lastWriteMs_ >= 50;
    if (drained || now >= unplugDeadlineMs_)
        unplug(faults_.unplugMode);
}

bool VirtualInstrument::writeMaster(const QByteArray &bytes) {
    qsizetype done = 0;
    int stalls = 0;
    while (isPlugged() && done < bytes.size()) {
        const ssize_t n = ::write(masterFd_, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
            lastWriteMs_ = MonotonicMs();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The slave's input queue is full: nobody reads the port. A real line would drop the
        // bytes too, so give up after a short while instead of stalling the event loop.
        if (n < 0 && errno == EAGAIN && ++stalls <= 5) {
            pollfd p{masterFd_, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        return false;
    }
    return done == bytes.size();
}

bool VirtualInstrument::pointLink() {
    if (linkPath_.isEmpty() || !isPlugged())
        return true;
    QDir().mkpath(QFileInfo(linkPath_).absolutePath());
    // Replace the link in one step, so a program resolving it never finds it missing.
    const QByteArray link = QFile::encodeName(linkPath_);
    const QByteArray fresh = link + ".new";
    ::unlink(fresh.constData());
    return ::symlink(QFile::encodeName(devicePath_).constData(), fresh.constData()) == 0 &&
           ::rename(fresh.constData(), link.constData()) == 0;
}

void VirtualInstrument::closePty() {
    if (notifier_) {
        // We may be inside the notifier's own signal (a request that triggers an unplug).
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (masterFd_ >= 0)
        ::close(masterFd_);
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    masterFd_ = -1;
    slaveFd_ = -1;
}

} // namespace ksim
