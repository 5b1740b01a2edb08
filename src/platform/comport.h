#pragma once

#include <QFlags>
#include <QObject>
#include <QString>

// Line errors a serial port reports, one flag per kind.
enum ComError : unsigned {
    ceFrame = 0x01,
    ceRxParity = 0x02,
    ceOverrun = 0x04,
    ceBreak = 0x08,
    ceIO = 0x10,
    ceMode = 0x20,
    ceRxOver = 0x40,
    ceTxFull = 0x80,
};
Q_DECLARE_FLAGS(ComErrors, ComError)
Q_DECLARE_OPERATORS_FOR_FLAGS(ComErrors)

// What the instrument link needs of a serial port: 8 data bits, no parity, 1 stop bit, no flow
// control, DTR and RTS kept low. A new object is not open. RxChar and LineError are emitted on
// the owner's thread only while it processes events, RxChar with 1 to 1024 bytes waiting; more
// waiting bytes follow in later events. A receiver must not delete the port while one of its
// signals is being delivered (see Delivering()).
class TComPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Takes a name "COM" + n unchanged; the device behind it is found when opening.
    virtual void SetPort(const QString &name) = 0;
    virtual void SetBaudRate(int baud) = 0;
    virtual bool Open() = 0;
    virtual bool Connected() const = 0;
    // Discards what waits in the chosen queues.
    virtual bool ClearBuffer(bool input, bool output) = 0;
    // Writes each character as one byte (Latin-1) and returns once all are written.
    virtual bool WriteStr(const QString &text) = 0;
    // Copies up to count waiting bytes; returns how many.
    virtual int Read(char *buffer, int count) = 0;
    virtual void Close() = 0;

    // True while RxChar or LineError is being delivered; delete the port later then.
    bool Delivering() const { return deliveryDepth_ > 0; }

signals:
    void RxChar(int count);
    void LineError(ComErrors errors);

protected:
    void DeliverRxChar(int count);
    void DeliverErrors(ComErrors errors);

private:
    int deliveryDepth_ = 0;
};
