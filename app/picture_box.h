// A drawing surface with a white background and a user coordinate system:
// the two graphs of the main window draw on it with straight lines, and it
// reports pointer moves in user coordinates.
//
// The drawing is kept as the list of lines drawn since the last clear and
// painted into a backing image at the screen's device pixel ratio, so it
// stays as drawn when the window is covered and uncovered, survives resizes
// and moves between screens, and is crisp on a high-density screen: a line is
// one device pixel wide, not antialiased.
#pragma once

#include <QFrame>
#include <QImage>
#include <QPen>
#include <QRgb>
#include <optional>
#include <vector>

namespace quillon {

// A user coordinate system: the values at the left, top, right and bottom
// edges of the drawing area. Top may be above or below bottom in value; a
// graph whose y grows upward has top > bottom.
struct PictureScale {
    double left = 0;
    double top = 0;
    double right = 1;
    double bottom = 1;
};

// One line as drawn: its ends in the user coordinates of its moment, the
// coordinate system it was drawn under, and the colour it was drawn in (the
// foreground colour already resolved).
struct PictureLine {
    float x1 = 0;
    float y1 = 0;
    float x2 = 0;
    float y2 = 0;
    QRgb colour = 0;
    PictureScale scale;
};

class PictureBox final : public QFrame {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Clears the drawing to the background.
    void Cls();
    // Sets the coordinate system; the lines already drawn stay where they are
    // on the surface.
    void Scale(double left, double top, double right, double bottom);
    const PictureScale& CurrentScale() const { return scale_; }
    // A straight line in the given colour, or in the foreground colour.
    void Line(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt);

    QRgb ForeColor() const { return foreColor_; }
    void SetForeColor(QRgb colour) { foreColor_ = colour; }

    // The lines drawn since the last clear, in the order drawn.
    const std::vector<PictureLine>& Lines() const { return lines_; }
    // The size of the drawing area, the frame's contents, in
    // device-independent pixels.
    QSize DrawingArea() const;

    // User coordinates of a point of the widget, and back; the drawing area
    // is the frame's contents rectangle. Not finite when the drawing area or
    // the coordinate system is empty.
    QPointF ToUser(const QPointF& widgetPoint) const;
    QPointF ToWidget(const QPointF& userPoint) const;

    // The backing image as painted, at the device pixel ratio; rebuilt first
    // if the drawing area or the ratio changed since it was made. Null while
    // the drawing area is empty.
    QImage BackingImage();

signals:
    // The pointer moved over the surface; x and y in user coordinates.
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool BackingIsCurrent() const;
    void EnsureBackingImage();

    PictureScale scale_;
    QRgb foreColor_ = qRgb(0, 0, 0);
    std::vector<PictureLine> lines_;
    QImage backing_;
    // How many of lines_ are drawn into backing_; the rest follow when the
    // image is next needed.
    std::size_t linesInBacking_ = 0;
    // What backing_ was made for; an invalid size until it is first made.
    QSize backingArea_;
    qreal backingRatio_ = 0;
};

namespace detail {

// The rendering the picture box uses for its backing image, open to other
// device pixel ratios than the screens at hand offer: the drawing of the
// lines on a drawing area of the given size in device-independent pixels,
// and more lines drawn onto such an image.
QImage RenderPicture(const QSize& area, qreal ratio, const std::vector<PictureLine>& lines);
void DrawPictureLines(QImage& image, const QSize& area, const PictureLine* first,
                      const PictureLine* last);
// The lines onto any paint device whose drawing area has the given size,
// each in its colour with the width and style of `pen`.
void PaintPictureLines(QPainter& painter, const QSize& area, const PictureLine* first,
                       const PictureLine* last, QPen pen);

}  // namespace detail

}  // namespace quillon
