#include "panelfixture.h"

#include <QCoreApplication>
#include <QLabel>

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray &bytes, std::ostream *os) {
    *os << '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            *os << c;
        else
            *os << "\\x" << QByteArray(1, c).toHex().toUpper().toStdString();
    }
    *os << '"';
}

void PrintTo(const StatusMessage &message, std::ostream *os) {
    PrintTo(message.Text, os);
    *os << " in " << message.Colour.name().toStdString();
}

void RecordingConsole::ShowStatusMessage(const QString &text, const QColor &colour) {
    Messages.append({text, colour});
    if (OnMessage)
        OnMessage(Messages.last());
    QCoreApplication::processEvents();
}

void RecordingConsole::SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                      const QByteArray &errorText) {
    RemoteReply = TRemoteReply{replyText, errorCode, errorText};
}

QStringList RecordingConsole::MessageTexts() const {
    QStringList texts;
    for (const StatusMessage &message : Messages)
        texts.append(message.Text);
    return texts;
}

void PanelFixture::SetUp() {
    ASSERT_TRUE(rig.Start(SessionRig::FastProfile(), installCalCopy));
    view = std::make_unique<TForm_ControlView>();
    console = std::make_unique<RecordingConsole>(*view);
    QObject::connect(rig.session.get(), &TInstrumentSession::OperationBusyChanged,
                     [this](bool busy) { lockTakes += busy ? 1 : 0; });
    QObject::connect(rig.session.get(), &TInstrumentSession::LinkClosed, view.get(), [this] {
        ++linkCloses;
        view->ClearView();
    });
}

void PanelFixture::AddPanel(TForm_ControlPanel &panel) {
    QObject::connect(rig.session.get(), &TInstrumentSession::UpdateUIRequested, &panel,
                     &TForm_ControlPanel::Action_UpdateUI);
}

QString PanelFixture::ViewText(const char *name) const {
    const auto *label = view->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

int PanelFixture::ViewLeft(const char *name) const {
    const auto *widget = view->findChild<QWidget *>(QString::fromLatin1(name));
    return widget ? widget->x() : -1;
}
