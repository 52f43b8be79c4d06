#include "app/picture_box.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QSvgRenderer>
#include <limits>
#include <vector>

#include "app/picture_export.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(200, 30, 40);
const QRgb kBlue = qRgb(20, 40, 220);

// Pixels of this colour in the image, as (x, y) in device pixels.
std::vector<QPoint> PixelsOf(const QImage& image, QRgb colour)
{
    std::vector<QPoint> found;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) found.emplace_back(x, y);
    return found;
}

bool AllWhite(const QImage& image)
{
    return PixelsOf(image, kWhite).size() == static_cast<size_t>(image.width() * image.height());
}

// The columns of one row that have the colour.
std::vector<int> ColumnsOf(const QImage& image, int row, QRgb colour)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, row) == colour) columns.push_back(x);
    return columns;
}

// A drawing area of 200 x 100 pixels where one user unit is one pixel and y grows upward, so a
// user point (x, y) lies in image pixel (floor(x), floor(100 - y)).
class PictureBoxTest : public ::testing::Test {
protected:
    PictureBoxTest()
    {
        box.resize(202, 102);
        box.Scale(0, 100, 200, 0);
    }

    void ResizeBackAndForth()
    {
        box.resize(331, 207);
        ASSERT_EQ(box.BackingImage().size(), QSize(329, 205));
        box.resize(202, 102);
    }

    PictureBox box;
};

TEST(PictureBoxMapping, UpwardScaleMapsBothWaysOverTheContentsRectangle)
{
    PictureBox box;
    box.resize(393, 321);
    box.Scale(-5, 1e-9, 5, -1e-10);
    // A thin frame: the drawing area loses one pixel on each side.
    ASSERT_EQ(box.contentsRect(), QRect(1, 1, 391, 319));

    const QPointF topLeft = box.ToWidget({-5, 1e-9});
    EXPECT_DOUBLE_EQ(topLeft.x(), 1);
    EXPECT_DOUBLE_EQ(topLeft.y(), 1);
    const QPointF bottomRight = box.ToWidget({5, -1e-10});
    EXPECT_DOUBLE_EQ(bottomRight.x(), 392);
    EXPECT_DOUBLE_EQ(bottomRight.y(), 320);
    // y = 0 is 1e-9 / 1.1e-9 of the way down the 319 pixels.
    const QPointF origin = box.ToWidget({0, 0});
    EXPECT_NEAR(origin.x(), 196.5, 1e-9);
    EXPECT_NEAR(origin.y(), 291, 1e-9);
    EXPECT_LT(box.ToWidget({0, 5e-10}).y(), origin.y());

    const QPointF back = box.ToUser({196.5, 291});
    EXPECT_NEAR(back.x(), 0, 1e-12);
    EXPECT_NEAR(back.y(), 0, 1e-21);
    const QPointF corner = box.ToUser({1, 1});
    EXPECT_DOUBLE_EQ(corner.x(), -5);
    EXPECT_DOUBLE_EQ(corner.y(), 1e-9);
    const QPointF pixel = box.ToUser({101, 12});
    EXPECT_NEAR(pixel.x(), -5 + 10 * 100.0 / 391, 1e-12);
    EXPECT_NEAR(pixel.y(), 1e-9 - 1.1e-9 * 11 / 319, 1e-22);

    for (const QPointF user : {QPointF(-4.2, 7e-10), QPointF(3.3, -5e-11), QPointF(0.01, 0)}) {
        const QPointF again = box.ToUser(box.ToWidget(user));
        EXPECT_NEAR(again.x(), user.x(), 1e-12);
        EXPECT_NEAR(again.y(), user.y(), 1e-21);
    }
}

TEST_F(PictureBoxTest, LinesHaveTheirColourWhereTheyAreMapped)
{
    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kRed);
    box.Line(150.5f, 10.5f, 150.5f, 90.5f, kBlue);
    const QImage image = box.BackingImage();
    ASSERT_EQ(image.size(), QSize(200, 100));

    // Every pixel between the ends, in that one row only.
    const std::vector<int> red = ColumnsOf(image, 69, kRed);
    ASSERT_FALSE(red.empty());
    EXPECT_NEAR(red.front(), 20, 1);
    EXPECT_NEAR(red.back(), 120, 1);
    EXPECT_EQ(red.size(), static_cast<size_t>(red.back() - red.front() + 1));
    EXPECT_EQ(PixelsOf(image, kRed).size(), red.size());

    const std::vector<QPoint> blue = PixelsOf(image, kBlue);
    ASSERT_GE(blue.size(), 79u);
    for (const QPoint& p : blue) {
        EXPECT_EQ(p.x(), 150);
        EXPECT_GE(p.y(), 8);
        EXPECT_LE(p.y(), 90);
    }
    EXPECT_EQ(image.pixel(150, 11), kBlue);
    EXPECT_EQ(image.pixel(150, 88), kBlue);
    EXPECT_EQ(PixelsOf(image, kWhite).size() + PixelsOf(image, kRed).size() + blue.size(),
              200u * 100u);
}

TEST_F(PictureBoxTest, ForegroundColourIsUsedWhenNoneIsGivenAndStaysWithTheLine)
{
    box.Line(10.5f, 80.5f, 60.5f, 80.5f);
    box.SetForeColor(kBlue);
    box.Line(10.5f, 70.5f, 60.5f, 70.5f);
    box.SetForeColor(kRed);

    ASSERT_EQ(box.Lines().size(), 2u);
    EXPECT_EQ(box.Lines()[0].colour, kBlack);
    EXPECT_EQ(box.Lines()[1].colour, kBlue);
    ResizeBackAndForth();
    const QImage image = box.BackingImage();
    EXPECT_EQ(image.pixel(30, 19), kBlack);
    EXPECT_EQ(image.pixel(30, 29), kBlue);
    EXPECT_TRUE(PixelsOf(image, kRed).empty());
}

TEST_F(PictureBoxTest, PaintingShowsTheImageInsideTheFrame)
{
    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kRed);
    const QImage shown = box.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(202, 102));
    const QRect area = box.contentsRect();
    EXPECT_EQ(shown.pixel(area.left() + 70, area.top() + 69), kRed);
    EXPECT_EQ(shown.pixel(area.left() + 70, area.top() + 68), kWhite);
    EXPECT_EQ(shown.copy(area).convertToFormat(QImage::Format_RGB32),
              box.BackingImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(PictureBoxTest, ClsClearsTheImageAndTheLines)
{
    box.Line(0, 0, 200, 100, kRed);
    box.Line(0, 100, 200, 0);
    ASSERT_FALSE(AllWhite(box.BackingImage()));

    box.Cls();
    EXPECT_TRUE(box.Lines().empty());
    EXPECT_TRUE(AllWhite(box.BackingImage()));

    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kBlue);
    ResizeBackAndForth();
    const QImage image = box.BackingImage();
    EXPECT_TRUE(PixelsOf(image, kRed).empty());
    EXPECT_TRUE(PixelsOf(image, kBlack).empty());
    EXPECT_EQ(image.pixel(70, 69), kBlue);
}

TEST_F(PictureBoxTest, LinesKeepTheScaleTheyWereDrawnUnder)
{
    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kRed);
    const QImage before = box.BackingImage();

    box.Scale(-1, 1, 1, -1);
    EXPECT_EQ(box.CurrentScale().left, -1);
    EXPECT_EQ(box.CurrentScale().bottom, -1);
    EXPECT_EQ(box.BackingImage(), before);
    ResizeBackAndForth();
    EXPECT_EQ(box.BackingImage(), before);

    box.Line(0.0f, -0.51f, 0.5f, -0.51f, kBlue);
    ASSERT_EQ(box.Lines().size(), 2u);
    const PictureLine& first = box.Lines()[0];
    EXPECT_EQ(first.scale.left, 0);
    EXPECT_EQ(first.scale.top, 100);
    EXPECT_EQ(first.scale.right, 200);
    EXPECT_EQ(first.scale.bottom, 0);
    EXPECT_EQ(box.Lines()[1].scale.left, -1);
    EXPECT_EQ(box.Lines()[1].y1, -0.51f);
    // (0, -0.51) to (0.5, -0.51) is x 100 to 150, 75.5 pixels down.
    EXPECT_EQ(box.BackingImage().pixel(125, 75), kBlue);
    EXPECT_EQ(box.BackingImage().pixel(70, 69), kRed);
}

TEST_F(PictureBoxTest, ImageIsRebuiltIdenticallyAfterResizing)
{
    box.Line(0, 0, 200, 100, kRed);
    box.Line(3.7f, 97.1f, 181.2f, 2.9f, kBlue);
    box.Line(20.5f, 30.25f, 120.5f, 30.25f);
    box.Line(-50, 20, 250, 60, kRed);
    const QImage drawn = box.BackingImage();

    box.resize(402, 202);
    const QImage larger = box.BackingImage();
    ASSERT_EQ(larger.size(), QSize(400, 200));
    // The horizontal line at y = 30.25 is now in row 200 - 60.5 = 139.5 and twice as long.
    const std::vector<int> black = ColumnsOf(larger, 139, kBlack);
    ASSERT_FALSE(black.empty());
    EXPECT_NEAR(black.front(), 41, 1);
    EXPECT_NEAR(black.back(), 241, 1);

    box.resize(202, 102);
    EXPECT_EQ(box.BackingImage(), drawn);
    EXPECT_EQ(detail::RenderPicture(QSize(200, 100), 1, box.Lines()), drawn);
}

TEST(PictureBoxRendering, HigherRatioResolvesLinesInDevicePixels)
{
    PictureLine vertical;
    vertical.x1 = vertical.x2 = 10.75f;
    vertical.y1 = 2;
    vertical.y2 = 8;
    vertical.colour = kRed;
    vertical.scale = PictureScale{0, 0, 20, 10};

    const QImage single = detail::RenderPicture(QSize(20, 10), 1, {vertical});
    ASSERT_EQ(single.size(), QSize(20, 10));
    EXPECT_EQ(single.pixel(10, 5), kRed);

    const QImage doubled = detail::RenderPicture(QSize(20, 10), 2, {vertical});
    ASSERT_EQ(doubled.size(), QSize(40, 20));
    EXPECT_EQ(doubled.devicePixelRatio(), 2);
    // One device pixel wide, in the column that holds 2 * 10.75.
    EXPECT_EQ(doubled.pixel(21, 10), kRed);
    EXPECT_EQ(doubled.pixel(20, 10), kWhite);
    EXPECT_EQ(doubled.pixel(22, 10), kWhite);

    const QImage fractional = detail::RenderPicture(QSize(201, 101), 1.5, {});
    EXPECT_EQ(fractional.size(), QSize(302, 152));
    EXPECT_EQ(fractional.devicePixelRatio(), 1.5);
    EXPECT_TRUE(detail::RenderPicture(QSize(0, 10), 2, {vertical}).isNull());
}

TEST(PictureBoxRendering, LinesAddedInBatchesMatchTheRebuildAtEveryRatio)
{
    const PictureScale scale{-5, 1e-9, 5, -1e-10};
    std::vector<PictureLine> lines;
    for (int i = 0; i < 12; ++i) {
        const auto step = static_cast<float>(i);
        const float x = -5.0f + 0.83f * step;
        lines.push_back(PictureLine{x, -1e-10f + 1e-10f * step, x + 1.7f, 9e-10f - 7e-11f * step,
                                    i % 2 ? kRed : kBlue, scale});
    }
    lines.push_back(PictureLine{-9, 0, 9, 0, kBlack, scale});

    for (const qreal ratio : {1.0, 1.25, 2.0, 3.0}) {
        SCOPED_TRACE(ratio);
        QImage oneByOne = detail::RenderPicture(QSize(391, 319), ratio, {});
        ASSERT_TRUE(AllWhite(oneByOne));
        // One line, then the rest in uneven batches.
        for (std::size_t from = 0, size = 1; from < lines.size(); from += size, size += 2)
            detail::DrawPictureLines(oneByOne, QSize(391, 319), lines.data() + from,
                                     lines.data() + std::min(from + size, lines.size()));
        const QImage rebuilt = detail::RenderPicture(QSize(391, 319), ratio, lines);
        EXPECT_EQ(oneByOne, rebuilt);
        EXPECT_FALSE(PixelsOf(rebuilt, kRed).empty());
        EXPECT_FALSE(PixelsOf(rebuilt, kBlack).empty());
    }
}

TEST(PictureBoxSize, LinesDrawnWithoutASizeAppearOnceItHasOne)
{
    PictureBox box;
    box.resize(0, 0);
    box.Scale(0, 100, 200, 0);
    EXPECT_TRUE(box.BackingImage().isNull());
    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kRed);
    box.resize(2, 2);
    EXPECT_TRUE(box.BackingImage().isNull());
    box.Line(50.5f, 10.5f, 50.5f, 90.5f, kBlue);
    EXPECT_EQ(box.Lines().size(), 2u);
    EXPECT_FALSE(box.grab().isNull());

    box.resize(202, 102);
    const QImage image = box.BackingImage();
    ASSERT_EQ(image.size(), QSize(200, 100));
    EXPECT_EQ(image.pixel(70, 69), kRed);
    EXPECT_EQ(image.pixel(50, 40), kBlue);
}

// Pointer moves reach the box through the application, as from the window system.
void MovePointer(PictureBox& box, QPointF at, Qt::MouseButtons buttons,
                 Qt::KeyboardModifiers modifiers)
{
    QMouseEvent move(QEvent::MouseMove, at, box.mapToGlobal(at), Qt::NoButton, buttons, modifiers,
                     QPointingDevice::primaryPointingDevice());
    QCoreApplication::sendEvent(&box, &move);
}

struct Move {
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    float x;
    float y;
};

TEST_F(PictureBoxTest, PointerMovesReportTheCurrentUserCoordinates)
{
    std::vector<Move> moves;
    QObject::connect(
        &box, &PictureBox::MouseMove,
        [&moves](Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float x, float y) {
            moves.push_back(Move{buttons, modifiers, x, y});
        });

    // No button held: delivered only because the box tracks the pointer.
    MovePointer(box, QPointF(51, 26), Qt::NoButton, Qt::ShiftModifier);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].buttons, Qt::NoButton);
    EXPECT_EQ(moves[0].modifiers, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(moves[0].x, 50);
    EXPECT_FLOAT_EQ(moves[0].y, 75);

    box.Scale(-5, 1e-9, 5, -1e-10);
    MovePointer(box, QPointF(101, 51), Qt::LeftButton | Qt::RightButton, Qt::ControlModifier);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].buttons, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(moves[1].modifiers, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(moves[1].x, 0);
    EXPECT_FLOAT_EQ(moves[1].y, 4.5e-10f);
}

TEST_F(PictureBoxTest, UnusableScalesAndCoordinatesAreRecordedButNotDrawn)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const double dnan = std::numeric_limits<double>::quiet_NaN();

    box.Scale(3, 100, 3, 0);
    box.Line(0, 0, 200, 100, kRed);
    box.Scale(0, 7, 200, 7);
    box.Line(0, 0, 200, 100, kRed);
    box.Scale(0, dnan, 200, 0);
    box.Line(0, 0, 200, 100, kRed);
    box.Scale(-1e308, 100, 1e308, 0);
    box.Line(0, 0, 200, 100, kRed);
    // Spans of 1e-300 put float ends beyond double range once mapped.
    box.Scale(0, 1e-300, 1e-300, 0);
    box.Line(0, 0, 3e38f, 3e38f, kRed);
    box.Scale(0, 100, 200, 0);
    box.Line(nan, 0, 200, 100, kRed);
    box.Line(0, 0, 200, inf, kRed);
    box.Line(-inf, 50, inf, 50, kRed);
    EXPECT_EQ(box.Lines().size(), 8u);
    EXPECT_TRUE(AllWhite(box.BackingImage()));
    EXPECT_FALSE(box.grab().isNull());
    MovePointer(box, QPointF(51, 26), Qt::NoButton, Qt::NoModifier);

    box.Line(20.5f, 30.5f, 120.5f, 30.5f, kBlue);
    ResizeBackAndForth();
    const QImage image = box.BackingImage();
    EXPECT_TRUE(PixelsOf(image, kRed).empty());
    EXPECT_EQ(image.pixel(70, 69), kBlue);
}

TEST_F(PictureBoxTest, HugeLinesAreCutToTheirVisiblePart)
{
    // From the middle, (100, 50) in the image, up and to the right at 45 degrees, whichever end
    // comes first.
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        box.Cls();
        if (reversed)
            box.Line(1e30f, 1e30f, 100, 50, kRed);
        else
            box.Line(100, 50, 1e30f, 1e30f, kRed);
        const QImage image = box.BackingImage();
        for (const int row : {45, 25, 1}) {
            const std::vector<int> red = ColumnsOf(image, row, kRed);
            ASSERT_EQ(red.size(), 1u) << row;
            EXPECT_NEAR(red[0], 150 - row, 1) << row;
        }
        for (int row = 55; row < 100; ++row)
            EXPECT_TRUE(ColumnsOf(image, row, kRed).empty()) << row;
    }

    box.Cls();
    box.Line(-1e30f, 40.5f, 1e30f, 40.5f, kBlue);
    box.Line(77.5f, 1e30f, 77.5f, -1e30f, kRed);
    box.Line(1e30f, 1e30f, 2e30f, -1e30f, kBlack);
    const QImage image = box.BackingImage();
    EXPECT_EQ(ColumnsOf(image, 59, kBlue).size() + 1, 200u);
    EXPECT_EQ(image.pixel(77, 59), kRed);
    EXPECT_EQ(PixelsOf(image, kRed).size(), 100u);
    EXPECT_TRUE(PixelsOf(image, kBlack).empty());
}

// The pictures to take away: the drawing with its lines as wide as on screen,
// at twice the resolution, framed by its axes' numbers and titles and a
// legend; the read-out box over the corner is left out.
TEST_F(PictureBoxTest, PicturesFrameTheDrawingWithItsAxesAndLegendAtTwiceTheResolution)
{
    box.Line(50.5f, 0, 50.5f, 100, kRed);
    (new QLineEdit("-1.25V", &box))->setGeometry(1, 1, 80, 20);
    ASSERT_EQ(box.devicePixelRatioF(), 1.0);
    GraphFrame frame;
    frame.x = {"Bias [V]", {{0, "0"}, {100, "100"}, {200, "200"}}};
    frame.y = {"C [pF]", {{0, "0"}, {50, "50"}, {100, "100"}}};
    frame.legend = {{0xC81E28, "bias rising"}};
    const PictureLayout layout = LayOutPicture(box, frame);
    EXPECT_EQ(layout.drawing.size(), QSize(200, 100));
    EXPECT_GT(layout.drawing.left(), 20);
    EXPECT_GT(layout.size.height() - layout.drawing.bottom(), 40);

    const QImage image = PictureImage(box, frame);
    ASSERT_EQ(image.size(), 2 * layout.size);
    const QImage drawing = image.copy(QRect(2 * layout.drawing.topLeft(), QSize(400, 200)));
    for (int row : {0, 100, 199})
        EXPECT_EQ(ColumnsOf(drawing, row, kRed), (std::vector<int>{100, 101}));
    for (int row = 0; row < 40; ++row) EXPECT_EQ(ColumnsOf(drawing, row, kWhite).size(), 398u);
    // The numbers, titles, frame and legend are in the margins.
    const QImage margin = image.copy(QRect(0, 0, 2 * layout.drawing.left() - 4, image.height()));
    EXPECT_FALSE(PixelsOf(margin, kBlack).empty());
    EXPECT_GE(PixelsOf(image, kRed).size(), 400u + 40u) << "the legend's sample line";
    // Placed in a document, the picture keeps its size on screen.
    EXPECT_EQ(image.dotsPerMeterX(), qRound(192 / 0.0254));

    QImage png;
    ASSERT_TRUE(png.loadFromData(PictureFileBytes(box, frame, PictureFormat::Png), "PNG"));
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32),
              image.convertToFormat(QImage::Format_RGB32));
    const QByteArray svgBytes = PictureFileBytes(box, frame, PictureFormat::Svg);
    for (const char* text : {">Bias [V]<", ">C [pF]<", ">200<", ">bias rising<"})
        EXPECT_TRUE(svgBytes.contains(text)) << text;
    QSvgRenderer svg(svgBytes);
    EXPECT_EQ(svg.viewBox(), QRect(QPoint(0, 0), layout.size));
    QImage drawn(layout.size, QImage::Format_RGB32);
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();
    EXPECT_EQ(ColumnsOf(drawn.copy(layout.drawing), 50, kRed), (std::vector<int>{50}));
    EXPECT_EQ(ColumnsOf(drawn.copy(layout.drawing), 50, kWhite).size(), 199u);
}

TEST_F(PictureBoxTest, APictureThatCannotBeSavedLeavesTheOlderFileWhole)
{
    testing::TempFolder temp;
    temp.Write("cv.svg", "an older picture");
    const std::string folder = temp.File("cv.svg").string() + "/";
    EXPECT_EQ(SavePictureFile(folder, box, {}, PictureFormat::Svg),
              "The picture could not be saved to " + folder + ": not a file name.");
    const std::string nowhere = temp.File("missing/cv.png").string();
    EXPECT_EQ(SavePictureFile(nowhere, box, {}, PictureFormat::Png),
              "The picture could not be saved to " + nowhere + ": No such file or directory.");
    EXPECT_EQ(temp.Read("cv.svg"), "an older picture");
}

}  // namespace
}  // namespace quillon
