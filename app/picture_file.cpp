#include "app/picture_file.h"

#include <QBuffer>
#include <string_view>

#include "platform/file_replace.h"

namespace quillon {

QByteArray PngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) return {};
    return bytes;
}

std::optional<std::string> SavePictureBytes(const std::string& path, const QByteArray& bytes)
{
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
