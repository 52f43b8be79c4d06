#include "app/picture_export.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>
#include <string_view>

#include "app/picture_box.h"
#include "platform/file_replace.h"

namespace quillon {

namespace {

// The resolution a screen of ratio 1 is taken to have, so that a picture
// placed in a document comes out the size it has on screen.
constexpr double kScreenDotsPerInch = 96;
constexpr double kMetresPerInch = 0.0254;

void DrawLines(QPainter& painter, const PictureBox& picture, const QPen& pen)
{
    const std::vector<PictureLine>& lines = picture.Lines();
    detail::PaintPictureLines(painter, picture.DrawingArea(), lines.data(),
                              lines.data() + lines.size(), pen);
}

QByteArray SvgBytes(const PictureBox& picture)
{
    const QRect area(QPoint(0, 0), picture.DrawingArea());
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
    painter.fillRect(area, Qt::white);
    DrawLines(painter, picture, QPen(Qt::black, 1));
    painter.end();
    return bytes;
}

}  // namespace

QImage PictureImage(const PictureBox& picture)
{
    const qreal ratio = kPictureScale * picture.devicePixelRatioF();
    QImage image = detail::RenderPicture(picture.DrawingArea(), ratio, {});
    if (image.isNull()) return image;
    const int dotsPerMetre = qRound(kScreenDotsPerInch * ratio / kMetresPerInch);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    QPainter painter(&image);
    // A cosmetic pen counts device pixels: one screen pixel is kPictureScale
    // of them here.
    QPen pen(Qt::black, kPictureScale);
    pen.setCosmetic(true);
    DrawLines(painter, picture, pen);
    return image;
}

QByteArray PictureFileBytes(const PictureBox& picture, PictureFormat format)
{
    if (format == PictureFormat::Svg) return SvgBytes(picture);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QImage image = PictureImage(picture);
    if (image.isNull() || !image.save(&buffer, "PNG")) return {};
    return bytes;
}

const char* PictureExtension(PictureFormat format)
{
    return format == PictureFormat::Svg ? ".svg" : ".png";
}

std::optional<std::string> SavePictureFile(const std::string& path, const PictureBox& picture,
                                           PictureFormat format)
{
    const QByteArray bytes = PictureFileBytes(picture, format);
    std::optional<std::string> reason;
    if (bytes.isEmpty())
        reason = "there is no picture to save";
    else
        reason = ReplaceFileContent(
            path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (reason) return "The picture could not be saved to " + path + ": " + *reason + ".";
    return std::nullopt;
}

}  // namespace quillon
