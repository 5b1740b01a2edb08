#include "panelfixture.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

// Each message lets events run before it returns, as the message bar's repaint does.
void PanelFixture::SetUp() {
    ASSERT_TRUE(rig.Start(SessionRig::FastProfile(), installCalCopy));
    QObject::connect(rig.session.get(), &TInstrumentSession::StatusMessage, rig.session.get(),
                     [this](const QString &text) {
                         messages.append(text);
                         if (onMessage)
                             onMessage(text);
                         QCoreApplication::processEvents();
                     });
}

void PanelFixture::AddPanel(TForm_ControlPanel &panel, TOperation goOperation) {
    Panel = &panel;
    QObject::connect(rig.session.get(), &TInstrumentSession::UpdateUIRequested, &panel,
                     &TForm_ControlPanel::Action_UpdateUI);
    QObject::connect(rig.session.get(), &TInstrumentSession::OperationPressed, &panel,
                     [&panel, goOperation](TOperation operation, bool pressed) {
                         if (operation == TOperation::Reset || operation == goOperation)
                             panel.ShowOperationPressed(operation, pressed);
                     });
}

QWidget *PanelFixture::Child(const char *name) const {
    QWidget *child = Panel->findChild<QWidget *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QLineEdit *PanelFixture::Edit(const char *name) const {
    return qobject_cast<QLineEdit *>(Child(name));
}

void PanelFixture::Click(const char *name) {
    QTest::mouseClick(Child(name), Qt::LeftButton);
}

void PanelFixture::Type(const char *name, const QString &text) {
    Click(name);
    QTest::keyClicks(Edit(name), text);
}

bool PanelFixture::Pressed(const char *button) const {
    const QByteArray name(button);
    const bool on = Child(name + "_On")->isVisible();
    EXPECT_NE(on, Child(name + "_Off")->isVisible()) << button << ": one picture at a time";
    return on;
}
