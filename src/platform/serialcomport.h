#pragma once

#include "platform/comport.h"

#include <QSerialPort>

// TComPort over QSerialPort on the device that ComPortDevice() finds for the port name.
class TSerialComPort final : public TComPort {
    Q_OBJECT
public:
    explicit TSerialComPort(QObject *parent = nullptr);
    ~TSerialComPort() override;

    void SetPort(const QString &name) override { name_ = name; }
    void SetBaudRate(int baud) override { baud_ = baud; }
    bool Open() override;
    // Open from Open() to Close(), also after the device was lost: the link then sees its
    // writes fail, as on a port whose adapter was pulled.
    bool Connected() const override { return open_; }
    bool ClearBuffer(bool input, bool output) override;
    bool WriteStr(const QString &text) override;
    int Read(char *buffer, int count) override;
    void Close() override;

private:
    void PortActivity();
    void PortError(QSerialPort::SerialPortError error);
    void Deliver();
    void DeliverLater();
    ComErrors NewLineErrors();

    QSerialPort port_;
    QString name_;
    int baud_ = 9600;
    bool open_ = false;
    bool lost_ = false; // the device vanished; it is closed at the next delivery
    // Inside WriteStr QSerialPort may read and signal; those events wait for the event loop.
    bool writing_ = false;
    bool deliveryPosted_ = false;
    ComErrors pendingErrors_;
    // Line error counters of the driver, where it keeps them (a pseudo-terminal does not).
    bool countersValid_ = false;
    int frame_ = 0, parity_ = 0, overrun_ = 0, break_ = 0, bufferOverrun_ = 0;
};
