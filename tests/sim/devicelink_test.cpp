// The simulator as the program sees it: through the real instrument link, over a
// pseudo-terminal found as Ports/COM3 of a temporary program folder.

#include "sim/controlcommand.h"
#include "sim/virtualinstrument.h"

#include "device/devicerederedirada.h"
#include "support/tempprogramfolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

using ksim::RequestKind;

namespace {

class SimulatorThroughLink : public ::testing::Test {
protected:
    void SetUp() override {
        ksim::InstrumentProfile profile;
        profile.timing = ksim::Timing::fast();
        sim = std::make_unique<ksim::VirtualInstrument>(profile);
        ASSERT_TRUE(sim->setLink(folder.filePath(QStringLiteral("Ports/COM3"))));
        ASSERT_TRUE(sim->plug());
        link = std::make_unique<TDevice_RedeRedirada>();
        ASSERT_TRUE(link->OpenPort(QStringLiteral("COM3")));
        link->SetTimeOut(1000);
    }

    void TearDown() override {
        link.reset();
        sim.reset();
    }

    void control(const std::string &line) {
        ASSERT_EQ(ksim::ExecuteControlCommand(*sim, QString::fromStdString(line)).reply,
                  QStringLiteral("OK"))
            << line;
    }

    // The GO values of a cell of the instrument's calibration table.
    ksim::Positions cell(const char *cw, const char *fwhm) const {
        const ksim::CalTable &t = *sim->calTable();
        for (int r = 0; r < t.rowCount(); ++r)
            for (int c = 0; c < t.columnCount(); ++c)
                if (t.cwText(r) == QLatin1String(cw) && t.fwhmText(c) == QLatin1String(fwhm))
                    return t.cell(r, c).value_or(ksim::Positions{-1, -1, -1});
        return {-1, -1, -1};
    }

    TempProgramFolder folder;
    std::unique_ptr<ksim::VirtualInstrument> sim;
    std::unique_ptr<TDevice_RedeRedirada> link;
};

} // namespace

TEST_F(SimulatorThroughLink, identifiesItselfAndGivesItsInformation) {
    ASSERT_TRUE(link->CommandDevice());
    EXPECT_EQ(link->deviceId(), QStringLiteral("Quilm FM Ver1.0"));
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(link->CommandInfo(n)) << n;
    EXPECT_EQ(link->GetInfo(0), QStringLiteral("F612"));
    EXPECT_EQ(link->GetInfo(1), QStringLiteral("AX0000000017"));
    EXPECT_EQ(link->GetInfo(1).size(), 12);
    EXPECT_EQ(link->GetInfo(2), QStringLiteral("400.0-800.0"));
    EXPECT_EQ(link->GetInfo(2).size(), 11);
}

TEST_F(SimulatorThroughLink, homesMovesToTableCellsAndReportsPositions) {
    ASSERT_TRUE(link->CommandGo(100, 200, 300));
    ASSERT_TRUE(link->CommandHome());
    ASSERT_TRUE(link->CommandPos());
    EXPECT_EQ(link->positions(), (std::array<int, 3>{0, 0, 0}));

    const ksim::Positions target = cell("600.0", "5.0");
    ASSERT_TRUE(link->CommandGo(target[0], target[1], target[2]));
    EXPECT_EQ(link->positions(), target);
    ASSERT_TRUE(link->CommandPos());
    EXPECT_EQ(link->positions(), target);

    const QVector<ksim::RequestRecord> &r = sim->records();
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(r[0].check, QStringLiteral("mismatch"));
    EXPECT_EQ(
        r[3].text,
        QStringLiteral("GO 3 %1 %2 %3").arg(target[0]).arg(target[1]).arg(target[2]).toLatin1());
    EXPECT_EQ(r[3].check, QStringLiteral("cell=600.0/5.0"));
    EXPECT_EQ(sim->goMismatches(), 1);
    EXPECT_EQ(sim->requestCount(RequestKind::Home), 1);
}

TEST_F(SimulatorThroughLink, switchesBkenBothWays) {
    ASSERT_TRUE(link->CommandBken(false));
    EXPECT_FALSE(link->bkenState());
    EXPECT_FALSE(sim->model().bken());
    ASSERT_TRUE(link->CommandBken(true));
    EXPECT_TRUE(link->bkenState());
    EXPECT_TRUE(sim->model().bken());
}

// One fault and what the link makes of it.
struct LinkOutcome {
    const char *name;
    const char *fault;
    std::function<bool(TDevice_RedeRedirada &)> command;
    bool succeeds;
    std::function<bool(const TDevice_RedeRedirada &)> holds; // checked after the command
};

void PrintTo(const LinkOutcome &outcome, std::ostream *os) {
    *os << outcome.name;
}

class FaultThroughLink : public SimulatorThroughLink,
                         public ::testing::WithParamInterface<LinkOutcome> {};

TEST_P(FaultThroughLink, givesTheLinksDocumentedResult) {
    control(GetParam().fault);
    EXPECT_EQ(GetParam().command(*link), GetParam().succeeds);
    if (GetParam().holds) {
        EXPECT_TRUE(GetParam().holds(*link));
    }
}

namespace {

const auto Device = [](TDevice_RedeRedirada &l) { return l.CommandDevice(); };
const auto Home = [](TDevice_RedeRedirada &l) { return l.CommandHome(); };
const auto Pos = [](TDevice_RedeRedirada &l) { return l.CommandPos(); };
const auto Info1 = [](TDevice_RedeRedirada &l) { return l.CommandInfo(1); };
const auto Info2 = [](TDevice_RedeRedirada &l) { return l.CommandInfo(2); };
const auto BkenOn = [](TDevice_RedeRedirada &l) { return l.CommandBken(true); };

const auto IdIs = [](const char *id) {
    return [id](const TDevice_RedeRedirada &l) { return l.deviceId() == QLatin1String(id); };
};
const auto Item1Is = [](const char *value) {
    return [value](const TDevice_RedeRedirada &l) { return l.GetInfo(1) == QLatin1String(value); };
};

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultThroughLink,
    ::testing::Values(
        LinkOutcome{"noiseBeforeIdentification", "noise 6", Device, true, IdIs("Quilm FM Ver1.0")},
        LinkOutcome{"noiseBeforePositions", "noise 6", Pos, true, nullptr},
        LinkOutcome{"noiseBeforeHomed", "noise 6", Home, true, nullptr},
        LinkOutcome{"echoBeforeIdentification", "echo on", Device, true, IdIs("Quilm FM Ver1.0")},
        LinkOutcome{"echoBeforeHomed", "echo on", Home, true, nullptr},
        // The echo begins like the reply, so both lines are read as one with too many items.
        LinkOutcome{"echoBeforePositions", "echo on", Pos, false, nullptr},
        LinkOutcome{"echoBeforeInformation", "echo on", Info1, true, Item1Is("")},
        LinkOutcome{"crlfNeverCompletes", "crlf on", Device, false, IdIs("")},
        LinkOutcome{"crlfNeverCompletesInformation", "crlf on", Info1, false, Item1Is("")},
        LinkOutcome{"noReply", "noreply on", Pos, false, nullptr},
        LinkOutcome{"delayWithinTimeOut", "delay 400", Pos, true, nullptr},
        LinkOutcome{"delayPastTimeOut", "delay 1500", Device, false, nullptr},
        LinkOutcome{"splitReplyCompletes", "split 3 150", Info1, true, Item1Is("AX0000000017")},
        LinkOutcome{"splitIdentificationCompletes", "split 4 120", Device, true,
                    IdIs("Quilm FM Ver1.0")},
        LinkOutcome{"otherVersionPassesTheReplyRule", "id Quilm FM Ver1.1", Device, true,
                    IdIs("Quilm FM Ver1.1")},
        LinkOutcome{"shortIdentificationFails", "id Quilm FM", Device, false, IdIs("")},
        LinkOutcome{"foreignIdentificationFails", "id Acme Spectro 2.0", Device, false, IdIs("")},
        LinkOutcome{"invertedBkenDecides", "bken-invert on", BkenOn, true,
                    [](const TDevice_RedeRedirada &l) { return !l.bkenState(); }},
        // "INFO 1" alone is shorter than the reply rule's minimum; a quoted empty value is not.
        LinkOutcome{"bareInformationItemTooShort", "info 1 empty", Info1, false, Item1Is("")},
        LinkOutcome{"quotedEmptyInformationItem", "info 1 \"\"", Info1, true, Item1Is("")},
        LinkOutcome{"missingInformationItem", "info 2 none", Info2, false, nullptr},
        LinkOutcome{"unpluggedBeforeTheCommand", "unplug", Pos, false,
                    [](const TDevice_RedeRedirada &l) { return l.isOpen(); }},
        LinkOutcome{"unpluggedWithTheLinkDangling", "unplug dangle", Device, false, nullptr}),
    [](const ::testing::TestParamInfo<LinkOutcome> &info) { return std::string(info.param.name); });

TEST_F(SimulatorThroughLink, countedUnplugAnswersThenCommandsFail) {
    control("unplug-after 2");
    EXPECT_TRUE(link->CommandDevice());
    EXPECT_TRUE(link->CommandPos());
    EXPECT_FALSE(link->CommandPos());
    EXPECT_FALSE(link->CommandInfo(0));
    EXPECT_FALSE(sim->isPlugged());
}

TEST_F(SimulatorThroughLink, plugAgainIsFoundUnderTheSamePortName) {
    ASSERT_TRUE(link->CommandGo(11, 22, 33));
    sim->unplug();
    EXPECT_FALSE(link->CommandPos());
    link->ClosePort();
    EXPECT_FALSE(link->OpenPort(QStringLiteral("COM3"))) << "nothing behind COM3 while unplugged";

    ASSERT_TRUE(sim->plug());
    ASSERT_TRUE(link->OpenPort(QStringLiteral("COM3")));
    ASSERT_TRUE(link->CommandPos());
    EXPECT_EQ(link->positions(), (std::array<int, 3>{11, 22, 33}));
}
