// The instrument link's reply recogniser, through a port without a device: the link sends a
// command word, the instrument's bytes arrive in pieces, and each receive event runs the
// recogniser over the buffer.
//
// Input: the command word, a line feed, one byte that chooses how the rest is cut into receive
// events (TChunker), then the bytes from the instrument.

#include "fuzzsupport.h"

#include "device/devicerederedirada.h"
#include "platform/comport.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr int RxBufferSize = TDevice_RedeRedirada::RxBufferSize;

class TFuzzComPort final : public TComPort {
public:
    void SetPort(const QString &) override {}
    void SetBaudRate(int) override {}
    bool Open() override { return open_ = true; }
    bool Connected() const override { return open_; }
    bool ClearBuffer(bool input, bool) override {
        if (input)
            waiting_.clear();
        return true;
    }
    bool WriteStr(const QString &) override { return open_; }
    int Read(char *buffer, int count) override {
        const int n = std::min(count, int(waiting_.size()));
        std::memcpy(buffer, waiting_.constData(), n);
        waiting_.remove(0, n);
        return n;
    }
    void Close() override { open_ = false; }

    // One receive event for bytes that fit in one (at most 1024); the link must take them all.
    void Arrive(const QByteArray &bytes) {
        waiting_ += bytes;
        DeliverRxChar(int(waiting_.size()));
        FUZZ_REQUIRE(waiting_.isEmpty());
    }

private:
    bool open_ = false;
    QByteArray waiting_;
};

// What the instrument's reply to each command word looks like. Other words have no reply: any
// complete line ends the wait as not valid.
struct TExpectedReply {
    bool known = false;
    int minLength = 0;
    bool exact = false; // the whole reply is `text`, not only its beginning
    QByteArray text;
};

TExpectedReply ExpectedReply(const QByteArray &word) {
    if (word == "?")
        return {true, 15, false, "Quilm FM Ver"};
    if (word == "HOME")
        return {true, 1, true, "G"};
    if (word == "POS" || word == "GO" || word == "INFO" || word == "BKEN")
        return {true, word == "INFO" ? 8 : word == "POS" ? 7 : 6, false, word};
    return {};
}

bool Accepts(const TExpectedReply &expected, QByteArrayView response) {
    return expected.exact ? response == expected.text : response.startsWith(expected.text);
}

// `appended` is the buffer as the bytes of one receive event left it; `link` shows what the
// recogniser made of it.
void CheckEvent(const TDevice_RedeRedirada &link, const TExpectedReply &expected,
                const QByteArray &appended, bool validBefore) {
    const QByteArray held = link.rxBuffer();
    FUZZ_REQUIRE(held.size() <= RxBufferSize);
    // The recogniser only drops bytes from the front, and only to skip what cannot begin the
    // expected reply: every longer tail it gave up on ends the same line and was rejected.
    FUZZ_REQUIRE(appended.endsWith(held));
    const int skipped = int(appended.size() - held.size());
    if (skipped > 0)
        FUZZ_REQUIRE(expected.known && appended.endsWith('\r'));
    for (int from = 0; from < skipped; ++from) {
        const QByteArrayView response(appended.constData() + from, appended.size() - from - 1);
        FUZZ_REQUIRE(response.size() >= expected.minLength && !Accepts(expected, response));
    }

    if (!link.replyComplete()) {
        FUZZ_REQUIRE(held.size() <= 1 || !held.endsWith('\r'));
        // Only a complete reply is judged; the verdict on an earlier one stands until the next
        // wait resets it.
        FUZZ_REQUIRE(link.replyValid() == validBefore);
        return;
    }
    FUZZ_REQUIRE(held.size() > 1 && held.endsWith('\r'));
    const QByteArray response = held.chopped(1);
    FUZZ_REQUIRE(link.response().toLatin1() == response);
    const bool valid =
        expected.known && response.size() >= expected.minLength && Accepts(expected, response);
    FUZZ_REQUIRE(link.replyValid() == valid);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const int wordEnd = input.indexOf('\n');
    if (wordEnd < 0 || wordEnd + 1 >= input.size())
        return -1;
    const QByteArray word = input.left(wordEnd);
    TChunker chunker(uint8_t(input.at(wordEnd + 1)));
    const QByteArray stream = input.mid(wordEnd + 2);

    TDevice_RedeRedirada link;
    TFuzzComPort *port = nullptr;
    link.SetPortFactory([&port] {
        auto made = std::make_unique<TFuzzComPort>();
        port = made.get();
        return made;
    });
    FUZZ_REQUIRE(link.OpenPort(QStringLiteral("COM1")) && port);
    link.ClearBuffer();
    // An empty word is refused and leaves no command: its reply rule is that of an unknown one.
    link.SendCommand(QString::fromLatin1(word));
    const TExpectedReply expected = ExpectedReply(link.lastCommand().toLatin1());

    std::size_t at = 0;
    while (at < std::size_t(stream.size())) {
        const std::size_t piece =
            std::min<std::size_t>(chunker.Next(stream.size() - at), RxBufferSize);
        const QByteArray bytes = stream.mid(int(at), int(piece));
        at += piece;
        const QByteArray appended = (link.rxBuffer() + bytes).left(RxBufferSize);
        const bool validBefore = link.replyValid();
        port->Arrive(bytes);
        CheckEvent(link, expected, appended, validBefore);
    }
    return 0;
}
