// The graphs as pictures to take away: an image for the clipboard, PNG files
// at twice the screen's resolution and SVG drawings. A picture holds the
// drawing alone; the read-out boxes over it are left out.
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>
#include <string>

namespace quillon {

class PictureBox;

// In the order of the types "Save picture..." offers.
enum class PictureFormat { Png = 0, Svg = 1 };

// The types "Save picture..." offers.
inline constexpr const char* kPictureFileFilter =
    "PNG picture (*.png)|*.png|SVG drawing (*.svg)|*.svg";
// Device pixels of a PNG picture per device pixel on screen.
inline constexpr int kPictureScale = 2;

// The drawing at kPictureScale times the screen's resolution, each line as
// wide as on screen; null while the drawing area is empty.
QImage PictureImage(const PictureBox& picture);

// The file's content: PNG of PictureImage, or an SVG drawing the size of the
// drawing area in pixels, with lines one pixel wide.
QByteArray PictureFileBytes(const PictureBox& picture, PictureFormat format);

// ".png" or ".svg".
const char* PictureExtension(PictureFormat format);

// Writes the file in one step (an older file of that name stays whole when
// anything fails). No value on success, otherwise the message for the user.
std::optional<std::string> SavePictureFile(const std::string& path, const PictureBox& picture,
                                           PictureFormat format);

}  // namespace quillon
