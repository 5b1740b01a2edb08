#pragma once

#include "platform/comport.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <memory>

// A port without a device, for what a pseudo-terminal cannot do: line errors, refused purges
// and events that the test raises itself. The test keeps the shared state; the link owns the
// port.
class FakeComPort final : public TComPort {
public:
    struct State {
        FakeComPort *port = nullptr; // the live port, null once it is destroyed
        QString name;
        int baud = 0;
        bool opens = true;
        bool clears = true;
        QByteArray written;
        QByteArray incoming;
    };

    explicit FakeComPort(std::shared_ptr<State> state) : state_(std::move(state)) {
        state_->port = this;
    }
    ~FakeComPort() override { state_->port = nullptr; }

    void SetPort(const QString &name) override { state_->name = name; }
    void SetBaudRate(int baud) override { state_->baud = baud; }
    bool Open() override { return open_ = state_->opens; }
    bool Connected() const override { return open_; }
    bool ClearBuffer(bool input, bool) override {
        if (input && state_->clears)
            state_->incoming.clear();
        return state_->clears;
    }
    bool WriteStr(const QString &text) override {
        state_->written += text.toLatin1();
        return open_;
    }
    int Read(char *buffer, int count) override {
        const int n = std::min<int>(count, int(state_->incoming.size()));
        std::memcpy(buffer, state_->incoming.constData(), n);
        state_->incoming.remove(0, n);
        return n;
    }
    void Close() override { open_ = false; }

    // Bytes arrive and are offered in one event.
    void Arrive(const QByteArray &bytes) {
        state_->incoming += bytes;
        DeliverRxChar(int(state_->incoming.size()));
    }
    void RaiseErrors(ComErrors errors) { DeliverErrors(errors); }

private:
    std::shared_ptr<State> state_;
    bool open_ = false;
};
