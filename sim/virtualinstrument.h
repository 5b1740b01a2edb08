#pragma once

#include "sim/caltable.h"
#include "sim/faultplan.h"
#include "sim/instrumentmodel.h"
#include "sim/requestrecord.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <array>
#include <optional>

class QSocketNotifier;

namespace ksim {

// The simulated instrument on a pseudo-terminal. The program under test opens the slave side
// (directly, or as Ports/COMn through the link this object keeps) and talks to it exactly as to
// the real unit.
//
// Everything is driven by the event loop of the thread that owns the object: a socket notifier
// on the master side and a timer for the working times. It therefore answers while a program in
// the same thread waits in a loop that processes events, which lets a test run the program's
// link and the instrument in one thread.
//
// Requests are served one at a time in the order they arrive, as the real unit does; a request
// that arrives while the instrument is busy waits for its turn.
class VirtualInstrument : public QObject {
    Q_OBJECT

public:
    explicit VirtualInstrument(const InstrumentProfile &profile = {}, QObject *parent = nullptr);
    ~VirtualInstrument() override;

    // Creates a fresh pseudo-terminal and points the link at it. False if none can be made.
    bool plug();
    // Closes the pseudo-terminal: the program's port reports errors and its writes fail.
    // Pending replies are lost.
    void unplug(UnplugMode mode = UnplugMode::RemoveLink);
    bool isPlugged() const { return masterFd_ >= 0; }
    QString devicePath() const { return devicePath_; }

    // Keeps a symbolic link at linkPath (e.g. <folder>/Ports/COM3) pointing at the current device,
    // creating its folder; it follows every plug and is removed when this object goes.
    bool setLink(const QString &linkPath);
    QString linkPath() const { return linkPath_; }

    // Appends one line per request (FormatRecord) to the file, or to standard output for "-".
    bool recordTo(const QString &path);

    InstrumentModel &model() { return model_; }
    FaultPlan &faults() { return faults_; }

    // GO requests are checked against this table; without one they are not checked. The
    // table generated for the profile is set at construction.
    void setCalTable(std::optional<CalTable> table) { table_ = std::move(table); }
    const std::optional<CalTable> &calTable() const { return table_; }

    int requestCount(RequestKind kind) const { return counts_[static_cast<int>(kind)]; }
    int totalRequests() const { return int(records_.size()); }
    int goMismatches() const { return goMismatches_; }
    const QVector<RequestRecord> &records() const { return records_; }
    // Forgets the records and zeroes the counters.
    void clearRecords();

signals:
    void requestReceived(const ksim::RequestRecord &record);
    void goMismatch(const ksim::RequestRecord &record);
    void pluggedIn(const QString &devicePath);
    void unpluggedOut();

private:
    void readMaster();
    void takeLine(const QByteArray &line);
    void serveNext();
    void writeNextPiece();
    void requestDone();
    void unplugWhenDrained();
    bool writeMaster(const QByteArray &bytes);
    bool pointLink();
    void closePty();

    InstrumentModel model_;
    FaultPlan faults_;
    std::optional<CalTable> table_;

    int masterFd_ = -1;
    int slaveFd_ = -1; // held open so the device stays valid while no program has it open
    QString devicePath_;
    QString linkPath_;
    QSocketNotifier *notifier_ = nullptr; // child; replaced on every plug

    QByteArray lineBuffer_;
    QVector<QByteArray> queue_; // requests waiting for their turn
    bool busy_ = false;
    QVector<QByteArray> pieces_; // parts of the reply still to write
    QTimer timer_;
    bool unplugging_ = false; // a counted unplug waits for its last reply to be read
    qint64 unplugDeadlineMs_ = 0;
    qint64 lastWriteMs_ = 0;
    QTimer drainTimer_;

    QVector<RequestRecord> records_;
    std::array<int, kRequestKindCount> counts_{};
    int goMismatches_ = 0;
    QFile recordFile_;
};

} // namespace ksim
