#include "console/formcontrolhelp.h"

#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

TEST(HelpPanelTest, IsOnePictureFillingTheTab) {
    TForm_ControlHelp help;
    EXPECT_EQ(help.size(), QSize(910, 426));
    auto *picture = help.findChild<QLabel *>(QStringLiteral("Image_Help_Base"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 910, 426));
    ASSERT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(picture->pixmap().size(), QSize(910, 426));
}

} // namespace
