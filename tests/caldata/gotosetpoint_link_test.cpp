#include "caldata/caldataimport.h"
#include "caldata/calfiles.h"
#include "device/devicerederedirada.h"
#include "support/pseudoterminal.h"
#include "support/scriptedpeer.h"
#include "support/tempprogramfolder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The main window's part in a move: the link is ready and GO goes through it.
class LinkHost : public ICalDataHost {
public:
    explicit LinkHost(TDevice_RedeRedirada &link) : Link(link) {}
    bool IsDeviceReady() const override { return true; }
    bool CommandGo(int pos1, int pos2, int pos3) override {
        return Link.CommandGo(pos1, pos2, pos3);
    }
    void Action_UpdateUI() override { ++UpdateUICount; }

    int UpdateUICount = 0;

private:
    TDevice_RedeRedirada &Link;
};

// The reference table behind a real link on COM3, a pseudo-terminal with a scripted instrument.
class GoToSetPointLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(terminal.isValid());
        ASSERT_TRUE(folder.linkPort(3, terminal.slavePath()));
        ASSERT_TRUE(link.OpenPort(QStringLiteral("COM3")));
        table->SetHost(&host);
        table->Model = calfiles::Model;
        table->Serial = calfiles::Serial;
        ASSERT_TRUE(
            calfiles::WriteLines(folder.filePath(QStringLiteral("Cal/")) + calfiles::CopyName,
                                 calfiles::ExampleLines()));
        calfiles::ScriptedDialog dialog;
        ASSERT_EQ(ImportCalData(*table, true, folder.path(), dialog), QString());
    }

    TempProgramFolder folder;
    PseudoTerminal terminal;
    ScriptedPeer peer{terminal};
    TDevice_RedeRedirada link;
    LinkHost host{link};
    std::unique_ptr<TCalData> table = std::make_unique<TCalData>();
};

TEST_F(GoToSetPointLinkTest, SendsTheCellAsOneGoLine) {
    peer.on("GO 3 1170 3380 600", "GO 3 1170 3380 600\r");
    EXPECT_TRUE(table->GoToSetPoint(500.5, 20.0));
    EXPECT_EQ(peer.received(), QByteArray("GO 3 1170 3380 600\r"));
    EXPECT_EQ(host.UpdateUICount, 1);
}

TEST_F(GoToSetPointLinkTest, CellMarkedX_PutsNothingOnTheLine) {
    EXPECT_FALSE(table->GoToSetPoint(500.0, 20.0));
    EXPECT_EQ(host.UpdateUICount, 0);
    // The next move's line is the first thing the instrument receives.
    peer.on("GO 3 1200 3400 150", "GO 3 1200 3400 150\r");
    EXPECT_TRUE(table->GoToSetPoint(500.0, 5.0));
    EXPECT_EQ(peer.received(), QByteArray("GO 3 1200 3400 150\r"));
}

TEST_F(GoToSetPointLinkTest, UnansweredGo_FailsWithoutRefresh) {
    link.SetTimeOut(200);
    EXPECT_FALSE(table->GoToSetPoint(501.0, 10.0));
    EXPECT_TRUE(WaitUntil([&] { return peer.received().endsWith('\r'); }));
    EXPECT_EQ(peer.received(), QByteArray("GO 3 1200 3400 300\r"));
    EXPECT_EQ(host.UpdateUICount, 0);
}

} // namespace
