#include "app/picture_export.h"

#include <QApplication>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <string_view>

#include "app/picture_box.h"
#include "platform/file_replace.h"

namespace quillon {

namespace {

// The resolution a screen of ratio 1 is taken to have, so that a picture
// placed in a document comes out the size it has on screen.
constexpr double kScreenDotsPerInch = 96;
constexpr double kMetresPerInch = 0.0254;
constexpr int kTickLength = 4;
constexpr int kGap = 4;
constexpr int kLegendLineLength = 20;
constexpr int kLegendSpacing = 14;

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// The margins around the drawing that its numbers, titles and legend need.
struct Margins {
    int left, top, right, bottom;
};

Margins MarginsFor(const GraphFrame& frame, const QFontMetricsF& metrics)
{
    qreal widestY = 0;
    for (const AxisTick& tick : frame.y.ticks)
        widestY = std::max(widestY, metrics.horizontalAdvance(Text(tick.label)));
    qreal lastX = 0;
    if (!frame.x.ticks.empty())
        lastX = metrics.horizontalAdvance(Text(frame.x.ticks.back().label)) / 2;
    const int line = qCeil(metrics.height());
    const int legend = frame.legend.empty() ? 0 : line + kGap;
    return {line + kGap + qCeil(widestY) + kGap + kTickLength, line / 2 + kGap,
            std::max(qCeil(lastX), kGap) + 2 * kGap,
            kTickLength + kGap + line + kGap + line + kGap + legend};
}

void PaintFrame(QPainter& painter, const PictureLayout& layout, const PictureBox& picture,
                const GraphFrame& frame, const QPen& linePen)
{
    const QRect& drawing = layout.drawing;
    painter.fillRect(QRect(QPoint(0, 0), layout.size), Qt::white);

    painter.save();
    painter.setClipRect(drawing);
    painter.translate(drawing.topLeft());
    const std::vector<PictureLine>& lines = picture.Lines();
    detail::PaintPictureLines(painter, drawing.size(), lines.data(), lines.data() + lines.size(),
                              linePen);
    painter.restore();

    // The frame and the ticks run just outside the drawing, which keeps
    // every pixel it has on screen.
    const QRectF outline = QRectF(drawing).adjusted(-0.5, -0.5, 0.5, 0.5);
    QPen framePen = linePen;
    framePen.setColor(Qt::black);
    painter.setPen(framePen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outline);

    const QFontMetricsF metrics(painter.font());
    const qreal line = metrics.height();
    const PictureScale& scale = picture.CurrentScale();
    const auto xAt = [&](double value) {
        return drawing.left() + (value - scale.left) / (scale.right - scale.left) * drawing.width();
    };
    const auto yAt = [&](double value) {
        return drawing.top() + (value - scale.top) / (scale.bottom - scale.top) * drawing.height();
    };
    for (const AxisTick& tick : frame.x.ticks) {
        const qreal x = xAt(tick.value);
        painter.drawLine(QPointF(x, outline.bottom()), QPointF(x, outline.bottom() + kTickLength));
        const qreal width = metrics.horizontalAdvance(Text(tick.label));
        painter.drawText(QRectF(x - width / 2, drawing.bottom() + kTickLength + kGap, width, line),
                         Qt::AlignCenter, Text(tick.label));
    }
    for (const AxisTick& tick : frame.y.ticks) {
        const qreal y = yAt(tick.value);
        painter.drawLine(QPointF(outline.left() - kTickLength, y), QPointF(outline.left(), y));
        const qreal right = drawing.left() - kTickLength - kGap;
        painter.drawText(QRectF(0, y - line / 2, right, line), Qt::AlignRight | Qt::AlignVCenter,
                         Text(tick.label));
    }

    const qreal titleTop = drawing.bottom() + kTickLength + kGap + line + kGap;
    painter.drawText(QRectF(drawing.left(), titleTop, drawing.width(), line), Qt::AlignCenter,
                     Text(frame.x.title));
    painter.save();
    painter.translate(0, drawing.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-drawing.height() / 2.0, 0, drawing.height(), line), Qt::AlignCenter,
                     Text(frame.y.title));
    painter.restore();

    // The legend in a row under the titles, centred under the drawing.
    qreal legendWidth = 0;
    for (const LegendEntry& entry : frame.legend)
        legendWidth +=
            kLegendLineLength + kGap + metrics.horizontalAdvance(Text(entry.text)) + kLegendSpacing;
    qreal x = drawing.center().x() - (legendWidth - kLegendSpacing) / 2;
    const qreal legendTop = titleTop + line + kGap;
    for (const LegendEntry& entry : frame.legend) {
        QPen sample = linePen;
        sample.setColor(QColor(QRgb(0xFF000000u | entry.colour)));
        sample.setWidthF(linePen.widthF() * 2);
        painter.setPen(sample);
        painter.drawLine(QPointF(x, legendTop + line / 2),
                         QPointF(x + kLegendLineLength, legendTop + line / 2));
        x += kLegendLineLength + kGap;
        painter.setPen(framePen);
        const qreal width = metrics.horizontalAdvance(Text(entry.text));
        painter.drawText(QRectF(x, legendTop, width, line), Qt::AlignLeft | Qt::AlignVCenter,
                         Text(entry.text));
        x += width + kLegendSpacing;
    }
}

QByteArray SvgBytes(const PictureBox& picture, const GraphFrame& frame)
{
    const PictureLayout layout = LayOutPicture(picture, frame);
    const QRect area(QPoint(0, 0), layout.size);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(area.size());
    svg.setViewBox(area);
    svg.setResolution(static_cast<int>(kScreenDotsPerInch));
    svg.setTitle("quillon graph");
    QPainter painter(&svg);
    painter.setFont(QApplication::font());
    PaintFrame(painter, layout, picture, frame, QPen(Qt::black, 1));
    painter.end();
    return bytes;
}

}  // namespace

PictureLayout LayOutPicture(const PictureBox& picture, const GraphFrame& frame)
{
    const Margins margins = MarginsFor(frame, QFontMetricsF(QApplication::font()));
    const QSize area = picture.DrawingArea();
    return {QRect(QPoint(margins.left, margins.top), area),
            QSize(margins.left + area.width() + margins.right,
                  margins.top + area.height() + margins.bottom)};
}

QImage PictureImage(const PictureBox& picture, const GraphFrame& frame)
{
    if (picture.DrawingArea().isEmpty()) return QImage();
    const PictureLayout layout = LayOutPicture(picture, frame);
    const qreal ratio = kPictureScale * picture.devicePixelRatioF();
    QImage image(qCeil(layout.size.width() * ratio - 1e-6),
                 qCeil(layout.size.height() * ratio - 1e-6), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.setFont(QApplication::font());
        // A cosmetic pen counts device pixels: one screen pixel is
        // kPictureScale of them here.
        QPen pen(Qt::black, kPictureScale);
        pen.setCosmetic(true);
        PaintFrame(painter, layout, picture, frame, pen);
    }
    // Only now: the text is laid out at the screen's resolution, as the
    // margins were, and the file then says how large the picture is meant.
    const int dotsPerMetre = qRound(kScreenDotsPerInch * ratio / kMetresPerInch);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    return image;
}

QByteArray PictureFileBytes(const PictureBox& picture, const GraphFrame& frame,
                            PictureFormat format)
{
    if (format == PictureFormat::Svg) return SvgBytes(picture, frame);
    return PngBytes(PictureImage(picture, frame));
}

const char* PictureExtension(PictureFormat format)
{
    return format == PictureFormat::Svg ? ".svg" : ".png";
}

std::optional<std::string> SavePictureFile(const std::string& path, const PictureBox& picture,
                                           const GraphFrame& frame, PictureFormat format)
{
    return SavePictureBytes(path, PictureFileBytes(picture, frame, format));
}

}  // namespace quillon
