#include "app/picture_box.h"

#include <QColor>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <QtMath>
#include <cmath>
#include <optional>

namespace quillon {

namespace {

const QRgb kBackground = qRgb(255, 255, 255);

// Lines are cut to a box this many pixels wider than the drawing area on every side before they
// reach the painter: its rasterizer works largely in integers and fixed point, where ends far out
// overflow, and the margin keeps the cut ends themselves out of sight.
constexpr double kClipMargin = 4;

struct Point {
    double x;
    double y;
};

struct ClipBox {
    double left;
    double top;
    double right;
    double bottom;
};

enum Outcode : unsigned { kLeftOf = 1, kRightOf = 2, kAbove = 4, kBelow = 8 };

unsigned OutcodeOf(const Point& p, const ClipBox& box)
{
    unsigned code = 0;
    if (p.x < box.left)
        code |= kLeftOf;
    else if (p.x > box.right)
        code |= kRightOf;
    if (p.y < box.top)
        code |= kAbove;
    else if (p.y > box.bottom)
        code |= kBelow;
    return code;
}

// The point of the line through a and b at the given x (or y). The interpolation starts from the
// end nearer that value: from a far end it would subtract huge values from each other and land
// the point anywhere along the line.
Point AtX(const Point& a, const Point& b, double x)
{
    const bool fromA = std::abs(x - a.x) <= std::abs(x - b.x);
    const Point& from = fromA ? a : b;
    const Point& to = fromA ? b : a;
    return {x, from.y + (to.y - from.y) * ((x - from.x) / (to.x - from.x))};
}

Point AtY(const Point& a, const Point& b, double y)
{
    const bool fromA = std::abs(y - a.y) <= std::abs(y - b.y);
    const Point& from = fromA ? a : b;
    const Point& to = fromA ? b : a;
    return {from.x + (to.x - from.x) * ((y - from.y) / (to.y - from.y)), y};
}

// Cohen-Sutherland in double precision; false when no part of the line is in the box.
bool ClipLine(Point& a, Point& b, const ClipBox& box)
{
    // In exact arithmetic each end is moved at most twice. Rounding can make an end just put on
    // one edge poke a hair over another, so the passes are bounded rather than trusted to end;
    // a line still outside after them only grazes a corner of the margin.
    for (int pass = 0; pass < 8; ++pass) {
        const unsigned codeA = OutcodeOf(a, box);
        const unsigned codeB = OutcodeOf(b, box);
        if ((codeA | codeB) == 0) return true;
        if ((codeA & codeB) != 0) return false;
        const unsigned code = codeA != 0 ? codeA : codeB;
        Point& end = codeA != 0 ? a : b;
        if (code & kLeftOf)
            end = AtX(a, b, box.left);
        else if (code & kRightOf)
            end = AtX(a, b, box.right);
        else if (code & kAbove)
            end = AtY(a, b, box.top);
        else
            end = AtY(a, b, box.bottom);
    }
    return false;
}

// Spans that are not finite mean left or right (top or bottom) are not finite either.
bool IsUsable(const PictureScale& scale)
{
    const double width = scale.right - scale.left;
    const double height = scale.bottom - scale.top;
    return std::isfinite(width) && std::isfinite(height) && width != 0 && height != 0;
}

Point ToArea(double x, double y, const PictureScale& scale, const QSize& area)
{
    return {(x - scale.left) / (scale.right - scale.left) * area.width(),
            (y - scale.top) / (scale.bottom - scale.top) * area.height()};
}

void DrawLine(QPainter& painter, const QSize& area, const PictureLine& line)
{
    if (!IsUsable(line.scale)) return;
    Point a = ToArea(line.x1, line.y1, line.scale, area);
    Point b = ToArea(line.x2, line.y2, line.scale, area);
    // The differences are also not finite when an end is not, and the clip needs them finite.
    if (!std::isfinite(b.x - a.x) || !std::isfinite(b.y - a.y)) return;
    const ClipBox box{-kClipMargin, -kClipMargin, area.width() + kClipMargin,
                      area.height() + kClipMargin};
    if (!ClipLine(a, b, box)) return;
    painter.drawLine(QLineF(a.x, a.y, b.x, b.y));
}

QSize DeviceSize(const QSize& area, qreal ratio)
{
    // The slack keeps a product such as 100 * 1.1 = 110.00000000000001 from adding a column.
    return {qCeil(area.width() * ratio - 1e-6), qCeil(area.height() * ratio - 1e-6)};
}

}  // namespace

namespace detail {

QImage RenderPicture(const QSize& area, qreal ratio, const std::vector<PictureLine>& lines)
{
    if (area.isEmpty() || !(ratio > 0)) return QImage();
    QImage image(DeviceSize(area, ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(kBackground);
    DrawPictureLines(image, area, lines.data(), lines.data() + lines.size());
    return image;
}

void DrawPictureLines(QImage& image, const QSize& area, const PictureLine* first,
                      const PictureLine* last)
{
    if (image.isNull() || first == last) return;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A cosmetic pen is one device pixel at any ratio; a pen one logical pixel wide
    // would straddle device pixels at ratios such as 1.25 and come out unevenly thick.
    PaintPictureLines(painter, area, first, last, QPen(Qt::black, 0));
}

void PaintPictureLines(QPainter& painter, const QSize& area, const PictureLine* first,
                       const PictureLine* last, QPen pen)
{
    // A graph's lines come in runs of one colour; a new pen only where the
    // colour changes saves most of the painter's work.
    std::optional<QRgb> penColour;
    for (; first != last; ++first) {
        if (penColour != first->colour) {
            penColour = first->colour;
            pen.setColor(QColor(*penColour));
            painter.setPen(pen);
        }
        DrawLine(painter, area, *first);
    }
}

}  // namespace detail

PictureBox::PictureBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMouseTracking(true);
    // The backing image and the frame between them cover every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::Cls()
{
    lines_.clear();
    linesInBacking_ = 0;
    if (!backing_.isNull()) backing_.fill(kBackground);
    update();
}

void PictureBox::Scale(double left, double top, double right, double bottom)
{
    scale_ = PictureScale{left, top, right, bottom};
}

void PictureBox::Line(float x1, float y1, float x2, float y2, std::optional<QRgb> colour)
{
    // Drawn into the backing image when it is next needed, together with
    // the other new lines: one painter for a whole graph, not one a line.
    lines_.push_back(PictureLine{x1, y1, x2, y2, colour.value_or(foreColor_), scale_});
    update();
}

QPointF PictureBox::ToUser(const QPointF& widgetPoint) const
{
    const QRectF area = contentsRect();
    return {
        scale_.left + (widgetPoint.x() - area.left()) / area.width() * (scale_.right - scale_.left),
        scale_.top + (widgetPoint.y() - area.top()) / area.height() * (scale_.bottom - scale_.top)};
}

QPointF PictureBox::ToWidget(const QPointF& userPoint) const
{
    const Point inArea = ToArea(userPoint.x(), userPoint.y(), scale_, DrawingArea());
    return QPointF(contentsRect().topLeft()) + QPointF(inArea.x, inArea.y);
}

QImage PictureBox::BackingImage()
{
    EnsureBackingImage();
    return backing_;
}

void PictureBox::paintEvent(QPaintEvent*)
{
    // A move to a screen of another ratio shows up here first.
    EnsureBackingImage();
    QPainter painter(this);
    // Drawn before the frame: at a fractional ratio the image may reach under it by a fraction.
    if (!backing_.isNull()) painter.drawImage(contentsRect().topLeft(), backing_);
    drawFrame(&painter);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF user = ToUser(event->position());
    emit MouseMove(event->buttons(), event->modifiers(), static_cast<float>(user.x()),
                   static_cast<float>(user.y()));
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    EnsureBackingImage();
}

QSize PictureBox::DrawingArea() const
{
    // A frame wider than the widget leaves a negative contents size.
    return contentsRect().size().expandedTo(QSize(0, 0));
}

bool PictureBox::BackingIsCurrent() const
{
    return backingArea_ == DrawingArea() && backingRatio_ == devicePixelRatioF();
}

void PictureBox::EnsureBackingImage()
{
    if (!BackingIsCurrent()) {
        backingArea_ = DrawingArea();
        backingRatio_ = devicePixelRatioF();
        backing_ = detail::RenderPicture(backingArea_, backingRatio_, lines_);
    } else {
        detail::DrawPictureLines(backing_, backingArea_, lines_.data() + linesInBacking_,
                                 lines_.data() + lines_.size());
    }
    linesInBacking_ = lines_.size();
}

}  // namespace quillon
