#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace quillon {
namespace {

TEST(FormLCR, OpensWithItsCaptionAndFixedClientArea)
{
    int argc = 1;
    char name[] = "quillon_app_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    FormLCR window;
    window.show();
    EXPECT_EQ(window.windowTitle().toStdString(),
              "Agilent 4284A controller C-V & G-V measurement ");
    EXPECT_EQ(window.size(), QSize(629, 454));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

}  // namespace
}  // namespace quillon
