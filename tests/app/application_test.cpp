#include "application.h"

#include <QEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TApplication *App = nullptr;

const auto Work = static_cast<QEvent::Type>(QEvent::User + 1);

// Handles posted work events with whatever the test gives it. (A plain object: a failure thrown
// through the toolkit's widget dispatch would leave that dispatch's own copies unreleased.)
class Handler : public QObject {
public:
    std::function<void()> OnWork;
    int Handled = 0;

protected:
    bool event(QEvent *event) override {
        if (event->type() != Work)
            return QObject::event(event);
        ++Handled;
        OnWork();
        return true;
    }
};

class EscapedFailure : public ::testing::Test {
protected:
    void SetUp() override {
        App->ShowFailure = [this](const QString &text) { shown << text; };
    }
    // Posts one work event and lets the event loop deliver it.
    bool Deliver() {
        const int before = handler.Handled;
        QCoreApplication::postEvent(&handler, new QEvent(Work));
        return QTest::qWaitFor([&] { return handler.Handled > before; }, 5000);
    }
    QStringList shown;
    Handler handler;
};

TEST_F(EscapedFailure, IsShownWithItsTextAndTheEventLoopGoesOn) {
    handler.OnWork = [] { throw std::runtime_error("Cannot write the file."); };
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(shown, QStringList{"Cannot write the file."});

    // Events after the failure are still delivered, and a handler that no longer fails works.
    bool worked = false;
    handler.OnWork = [&] { worked = true; };
    ASSERT_TRUE(Deliver());
    EXPECT_TRUE(worked);
    EXPECT_EQ(shown.size(), 1);
}

TEST_F(EscapedFailure, WithoutTextOfItsOwnIsShownWithAnEmptyOne) {
    handler.OnWork = [] { throw 42; };
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(shown, QStringList{QString()});
}

TEST(ApplicationTitle, IsLeftToTheWindowsThemselves) {
    EXPECT_EQ(TApplication::applicationName(), "Kestrune");
    EXPECT_TRUE(TApplication::applicationDisplayName() == TApplication::applicationName());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    App = &app;
    return RUN_ALL_TESTS();
}
