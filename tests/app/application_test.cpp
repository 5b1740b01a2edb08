#include "application.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TApplication *App = nullptr;

// A button whose press handler fails with whatever the test gives it.
class FailingButton : public QPushButton {
public:
    std::function<void()> OnPress;

protected:
    void mousePressEvent(QMouseEvent *event) override {
        OnPress();
        QPushButton::mousePressEvent(event);
    }
};

class EscapedFailure : public ::testing::Test {
protected:
    void SetUp() override {
        App->ShowFailure = [this](const QString &text) { shown << text; };
        button.resize(80, 30);
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    }
    QStringList shown;
    FailingButton button;
};

TEST_F(EscapedFailure, IsShownWithItsTextAndTheEventLoopGoesOn) {
    button.OnPress = [] { throw std::runtime_error("Cannot write the file."); };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(shown, QStringList{"Cannot write the file."});

    // Events after the failure are still delivered, and a handler that no longer fails works.
    bool timerRan = false;
    QTimer::singleShot(0, App, [&] { timerRan = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan; }, 5000));
    bool pressed = false;
    button.OnPress = [&] { pressed = true; };
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(shown.size(), 1);
}

TEST_F(EscapedFailure, WithoutTextOfItsOwnIsShownWithAnEmptyOne) {
    button.OnPress = [] { throw 42; };
    QTest::mouseClick(&button, Qt::LeftButton);
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
