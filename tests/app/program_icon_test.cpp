// The program's icon as the program builds it in: every size it is drawn in is there and holds
// the drawing (a build that left the pictures out would show no icon at all, and say nothing).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include "app/program_icon.h"

namespace {

TEST(ProgramIcon, EverySizeIsBuiltInAndDrawn) {
  const QIcon icon = app::programIcon();
  ASSERT_FALSE(icon.isNull());
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    ASSERT_EQ(image.size(), QSize(size, size)) << size;
    // The blue ground above the box, left of the arrow; the box's white in the lower middle.
    const QColor ground = image.pixelColor(size / 8, size / 4);
    EXPECT_GT(ground.blue(), 2 * ground.red()) << size;
    EXPECT_GT(image.pixelColor(size / 2, size * 13 / 16).lightness(), 200) << size;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
