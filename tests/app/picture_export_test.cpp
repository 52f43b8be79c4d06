#include "app/picture_export.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>

#include "app/picture_box.h"
#include "tests/app/picture_test_area.h"
#include "tests/app/temp_folder.h"

namespace quillon {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(200, 30, 40);

using testing::ColumnsOf;

// A vertical red line at x = 50 and a read-out box over the top left corner.
class PictureExportTest : public ::testing::Test {
protected:
    PictureExportTest()
    {
        testing::UseUnitArea(box);
        box.Line(50.5f, 0, 50.5f, 100, kRed);
        readout->setGeometry(1, 1, 80, 20);
        readout->setText("-1.25V");
    }

    PictureBox box;
    QLineEdit* readout = new QLineEdit(&box);
};

TEST_F(PictureExportTest, ImageIsTwiceTheScreenResolutionWithLinesAsWideAsOnScreen)
{
    ASSERT_EQ(box.devicePixelRatioF(), 1.0);
    const QImage image = PictureImage(box);
    ASSERT_EQ(image.size(), QSize(400, 200));
    EXPECT_EQ(image.devicePixelRatio(), 2.0);
    // One screen pixel wide: two device pixels, at 2 x 50.5.
    for (int row : {0, 100, 199}) EXPECT_EQ(ColumnsOf(image, row, kRed), (std::vector<int>{100, 101}));
    // The read-out box is left out: its corner is as white as the rest.
    for (int row = 0; row < 40; ++row)
        EXPECT_EQ(ColumnsOf(image, row, kWhite).size(), 398u) << row;
    // Placed in a document, the picture keeps its size on screen.
    EXPECT_EQ(image.dotsPerMeterX(), qRound(192 / 0.0254));
}

TEST_F(PictureExportTest, PngAndSvgFilesHoldTheSameDrawing)
{
    QImage png;
    ASSERT_TRUE(png.loadFromData(PictureFileBytes(box, PictureFormat::Png), "PNG"));
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32),
              PictureImage(box).convertToFormat(QImage::Format_RGB32));

    QSvgRenderer svg(PictureFileBytes(box, PictureFormat::Svg));
    ASSERT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBox(), QRect(0, 0, 200, 100));
    QImage drawn(200, 100, QImage::Format_RGB32);
    drawn.fill(Qt::black);
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();
    // A white page with the red line where the screen has it.
    EXPECT_EQ(drawn.pixel(10, 50), kWhite);
    EXPECT_EQ(drawn.pixel(50, 50), kRed);
    EXPECT_EQ(drawn.pixel(52, 50), kWhite);
}

TEST_F(PictureExportTest, SavingReplacesTheFileWholeOrLeavesItAlone)
{
    testing::TempFolder temp;
    EXPECT_EQ(PictureFileName(temp.File("cv").string(), PictureFormat::Svg),
              temp.File("cv.svg").string());
    EXPECT_EQ(PictureFileName("cv.PNG", PictureFormat::Png), "cv.PNG.png");

    const std::string path = temp.File("cv.png").string();
    temp.Write("cv.png", "an older picture");
    EXPECT_EQ(SavePictureFile(path, box, PictureFormat::Png), std::nullopt);
    const QByteArray png = PictureFileBytes(box, PictureFormat::Png);
    EXPECT_EQ(temp.Read("cv.png"), png.toStdString());

    std::filesystem::create_directory(temp.File("folder.svg"));
    const std::string folder = temp.File("folder.svg").string();
    EXPECT_EQ(SavePictureFile(folder, box, PictureFormat::Svg),
              "The picture could not be saved to " + folder + ": not a regular file.");
    const std::string nowhere = temp.File("missing/cv.svg").string();
    EXPECT_EQ(SavePictureFile(nowhere, box, PictureFormat::Svg),
              "The picture could not be saved to " + nowhere + ": No such file or directory.");
    EXPECT_EQ(temp.Read("cv.png"), png.toStdString());
}

}  // namespace
}  // namespace quillon
