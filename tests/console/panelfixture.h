#pragma once

#include "console/controlpanel.h"
#include "session/sessionrig.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

class QLineEdit;

void PrintTo(const QString &text, std::ostream *os);

// One SET or SCAN panel on the real session and the simulator (see SessionRig), wired as the main
// window wires it: the session's refreshes reach the panel, and so do the pressed pictures of
// Reset and of the operation on its Go button. The session's messages are recorded, not drawn.
class PanelFixture : public ::testing::Test {
protected:
    void SetUp() override;

    // goOperation: the operation whose pressed picture is the panel's Go.
    void AddPanel(TForm_ControlPanel &panel, TOperation goOperation);

    TInstrumentSession &session() const { return *rig.session; }
    QStringList RequestLines() const { return rig.RequestLines(); }

    // A child of the panel by object name; an edit box of it.
    QWidget *Child(const char *name) const;
    QLineEdit *Edit(const char *name) const;
    void Click(const char *name);
    // Clicks into the box, which empties it, and types.
    void Type(const char *name, const QString &text);
    // "Image_Button4": the _On picture shows and the _Off picture does not.
    bool Pressed(const char *button) const;

    bool installCalCopy = true; // set before SetUp for a start-up that finds no table
    SessionRig rig;
    QStringList messages; // the texts of the session's messages, in order
    // Runs at each message before events run, to look at the panel in the middle of an operation.
    std::function<void(const QString &text)> onMessage;

private:
    QWidget *Panel = nullptr;
};
