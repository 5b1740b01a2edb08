#include "sim/instrumentmodel.h"

#include <gtest/gtest.h>

using ksim::Answer;
using ksim::FaultPlan;
using ksim::InfoAnswer;
using ksim::InstrumentModel;
using ksim::InstrumentProfile;
using ksim::Positions;
using ksim::RequestKind;

namespace {

InstrumentProfile Profile() {
    InstrumentProfile p;
    p.timing = ksim::Timing{7, 900, 20, 100};
    return p;
}

} // namespace

TEST(InstrumentModel, answersEachCommandOfTheProtocol) {
    InstrumentModel model(Profile());
    const FaultPlan none;
    struct Step {
        const char *request;
        const char *reply;
        int busyMs;
    };
    const Step steps[] = {
        {"?", "Quilm FM Ver1.0", 7},
        {"INFO 0", "INFO 0 F612", 7},
        {"INFO 1", "INFO 1 AX0000000017", 7},
        {"INFO 2", "INFO 2 400.0-800.0", 7},
        {"POS 3", "POS 3 0 0 0", 7},
        {"GO 3 1000 0 500", "GO 3 1000 0 500", 20 + 100},
        {"POS 3", "POS 3 1000 0 500", 7},
        {"GO 3 1000 3000 500", "GO 3 1000 3000 500", 20 + 300},
        {"BKEN 0", "BKEN 0", 7},
        {"BKEN 1", "BKEN 1", 7},
        {"HOME 3", "G", 900},
        {"POS 3", "POS 3 0 0 0", 7},
    };
    for (const Step &s : steps) {
        const Answer a = model.handle(s.request, none);
        EXPECT_TRUE(a.replies) << s.request;
        EXPECT_EQ(a.text, QByteArray(s.reply)) << s.request;
        EXPECT_EQ(a.busyMs, s.busyMs) << s.request;
    }
}

TEST(InstrumentModel, moveTimeGrowsWithTheLongestTravel) {
    InstrumentModel model(Profile());
    const FaultPlan none;
    EXPECT_EQ(model.handle("GO 3 0 0 0", none).busyMs, 20);
    EXPECT_EQ(model.handle("GO 3 6000 10 10", none).busyMs, 20 + 600);
    EXPECT_EQ(model.handle("GO 3 5990 2010 10", none).busyMs, 20 + 200);
}

class IgnoredRequest : public ::testing::TestWithParam<const char *> {};

TEST_P(IgnoredRequest, getsNoReplyAndChangesNothing) {
    InstrumentModel model(Profile());
    const FaultPlan none;
    model.handle("GO 3 1 2 3", none);
    EXPECT_FALSE(model.handle(GetParam(), none).replies);
    EXPECT_EQ(model.positions(), (Positions{1, 2, 3}));
}

INSTANTIATE_TEST_SUITE_P(OutsideTheProtocol, IgnoredRequest,
                         ::testing::Values("", "pos 3", "POS", "POS 3 ", " POS 3", "HOME", "HOME 1",
                                           "GO 3 1 2", "GO 3 1 2 3 4", "GO 2 1 2 3",
                                           "GO 3 6001 0 0", "GO 3 -1 0 0", "GO 3 01 0 0",
                                           "GO 3 1  2 3", "GO 3 +1 2 3", "GO 3 1 2 3x", "INFO 3",
                                           "INFO 4", "INFO", "INFO x", "BKEN 2", "BKEN", "?\n",
                                           "??"));

TEST(InstrumentModel, goAcceptsTheEndsOfTheTravel) {
    InstrumentModel model(Profile());
    const FaultPlan none;
    EXPECT_EQ(model.handle("GO 3 0 6000 0", none).text, QByteArray("GO 3 0 6000 0"));
    EXPECT_EQ(model.positions(), (Positions{0, 6000, 0}));
}

TEST(InstrumentModel, classifiesByCommandWordSoMalformedRequestsStillCount) {
    EXPECT_EQ(ksim::ClassifyRequest("?"), RequestKind::Identify);
    EXPECT_EQ(ksim::ClassifyRequest("HOME 3"), RequestKind::Home);
    EXPECT_EQ(ksim::ClassifyRequest("POS"), RequestKind::Pos);
    EXPECT_EQ(ksim::ClassifyRequest("GO 3 9999 0 0"), RequestKind::Go);
    EXPECT_EQ(ksim::ClassifyRequest("INFO 7"), RequestKind::Info);
    EXPECT_EQ(ksim::ClassifyRequest("BKEN 5"), RequestKind::Bken);
    EXPECT_EQ(ksim::ClassifyRequest("GOTO 1"), RequestKind::Other);
    EXPECT_EQ(ksim::ClassifyRequest(""), RequestKind::Other);
    for (int k = 0; k < ksim::kRequestKindCount; ++k) {
        const auto kind = static_cast<RequestKind>(k);
        EXPECT_EQ(ksim::RequestKindFromName(ksim::RequestKindName(kind)), kind);
    }
}

TEST(InstrumentModel, contentFaultsChangeWhatItSays) {
    InstrumentModel model(Profile());
    FaultPlan f;
    f.identification = "Quilm FM Ver1.1";
    f.bkenInverted = true;
    f.info[0] = {InfoAnswer::Mode::Value, "\"F 612\""};
    f.info[1] = {InfoAnswer::Mode::Empty, {}};
    f.info[2] = {InfoAnswer::Mode::Silent, {}};
    f.info[4] = {InfoAnswer::Mode::Value, "extra"};
    EXPECT_EQ(model.handle("?", f).text, QByteArray("Quilm FM Ver1.1"));
    EXPECT_EQ(model.handle("BKEN 1", f).text, QByteArray("BKEN 0"));
    EXPECT_FALSE(model.bken());
    EXPECT_EQ(model.handle("BKEN 0", f).text, QByteArray("BKEN 1"));
    EXPECT_EQ(model.handle("INFO 0", f).text, QByteArray("INFO 0 \"F 612\""));
    EXPECT_EQ(model.handle("INFO 1", f).text, QByteArray("INFO 1"));
    EXPECT_FALSE(model.handle("INFO 2", f).replies);
    EXPECT_EQ(model.handle("INFO 4", f).text, QByteArray("INFO 4 extra"));
}

TEST(InstrumentModel, rangeTextHasElevenCharactersForThreeDigitWavelengths) {
    InstrumentProfile p;
    p.rangeMin = 350;
    p.rangeMax = 950;
    EXPECT_EQ(p.rangeText(), QStringLiteral("350.0-950.0"));
    EXPECT_EQ(InstrumentProfile().rangeText().size(), 11);
}
