#include "panelfixture.h"

#include "caldata/caldataimport.h"

#include <QCoreApplication>
#include <QLabel>

namespace {

// The import reads the Cal/ copy; a request for the operator's file means the copy was not
// found, and is answered as a cancel.
class CancellingDialog : public ICalFileDialog {
public:
    QString Execute(const TCalFileDialogSetup &) override { return {}; }
};

} // namespace

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

FakeConsoleHost::FakeConsoleHost(TDevice_RedeRedirada &link, TCalData &table, IPositionView &view)
    : Link(link), Table(table), ViewPanel(view) {}

void FakeConsoleHost::ShowStatusMessage(const QString &text, const QColor &colour) {
    Messages.append({text, colour});
    if (OnMessage)
        OnMessage(Messages.last());
    QCoreApplication::processEvents();
}

bool FakeConsoleHost::BeginOperation() {
    if (!DeviceReady || OperationBusy || IsLinkBusy())
        return false;
    OperationBusy = true;
    ++BeginCount;
    return true;
}

bool FakeConsoleHost::EndOperation() {
    if (!DeviceReady || !OperationBusy)
        return false;
    OperationBusy = false;
    return true;
}

QString FakeConsoleHost::GetProductLabel() const {
    return DeviceReady ? QStringLiteral("KESTRUNE-612 ( 400.0 nm - 800.0 nm )")
                       : QStringLiteral("No Device");
}

bool FakeConsoleHost::ReadPositions() {
    if (IsLinkBusy())
        return true;
    if (!Link.CommandPos())
        return false;
    Action_UpdateUI();
    return true;
}

bool FakeConsoleHost::HomeAll() {
    if (!DeviceReady || !Link.CommandHome())
        return false;
    Action_UpdateUI();
    return true;
}

bool FakeConsoleHost::SetBken(bool on) {
    if (!DeviceReady || !Link.CommandBken(on))
        return false;
    Action_UpdateUI();
    return true;
}

void FakeConsoleHost::Action_DeviceClose() {
    ++DeviceCloseCount;
    DeviceReady = false;
    Table.Loaded = false;
    OperationBusy = false;
    Link.ClosePort();
    ViewPanel.ClearView();
    Action_UpdateUI();
}

void FakeConsoleHost::SetRemoteReply(const QByteArray &replyText, const QByteArray &errorCode,
                                     const QByteArray &errorText) {
    RemoteReply = TRemoteReply{replyText, errorCode, errorText};
}

void FakeConsoleHost::Action_UpdateUI() {
    for (IControlPanel *panel : Panels)
        panel->Action_UpdateUI();
}

QStringList FakeConsoleHost::MessageTexts() const {
    QStringList texts;
    for (const StatusMessage &message : Messages)
        texts.append(message.Text);
    return texts;
}

void PanelFixture::SetUp() {
    ksim::InstrumentProfile profile;
    profile.timing = ksim::Timing::fast();
    sim = std::make_unique<ksim::VirtualInstrument>(profile);
    ASSERT_TRUE(sim->setLink(folder.filePath(QStringLiteral("Ports/COM1"))));
    ASSERT_TRUE(sim->plug());
    QString error;
    ASSERT_FALSE(
        sim->calTable()
            ->write(folder.filePath(QStringLiteral("Cal")), sim->calTable()->keptName(), &error)
            .isEmpty())
        << error.toStdString();

    link = std::make_unique<TDevice_RedeRedirada>();
    ASSERT_TRUE(link->OpenPort(QStringLiteral("COM1")));
    link->SetTimeOut(ReplyTimeOutMs);
    ASSERT_TRUE(link->CommandDevice());
    ASSERT_TRUE(link->CommandInfo(0) && link->CommandInfo(1));

    view = std::make_unique<TForm_ControlView>();
    table = std::make_unique<TCalData>();
    host = std::make_unique<FakeConsoleHost>(*link, *table, *view);
    table->SetHost(host.get());
    table->Model = link->GetInfo(0);
    table->Serial = link->GetInfo(1);
    CancellingDialog dialog;
    ASSERT_EQ(ImportCalData(*table, true, folder.path(), dialog), QString());
    sim->clearRecords();
}

QStringList PanelFixture::RequestLines() const {
    QStringList lines;
    for (const ksim::RequestRecord &record : sim->records())
        lines.append(QString::fromLatin1(record.text));
    return lines;
}

QString PanelFixture::GoLineFor(const QString &cw, const QString &fwhm) const {
    const ksim::CalTable &t = *sim->calTable();
    for (int r = 0; r < t.rowCount(); ++r) {
        for (int c = 0; c < t.columnCount(); ++c) {
            if (t.cwText(r) != cw || t.fwhmText(c) != fwhm)
                continue;
            const std::optional<ksim::Positions> p = t.cell(r, c);
            return p ? QStringLiteral("GO 3 %1 %2 %3").arg((*p)[0]).arg((*p)[1]).arg((*p)[2])
                     : QString();
        }
    }
    return {};
}

QString PanelFixture::ViewText(const char *name) const {
    const auto *label = view->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

int PanelFixture::ViewLeft(const char *name) const {
    const auto *widget = view->findChild<QWidget *>(QString::fromLatin1(name));
    return widget ? widget->x() : -1;
}
