// The graphs as pictures to take away: an image for the clipboard, PNG files
// at twice the screen's resolution and SVG drawings. A picture holds the
// drawing with a frame around it for slides and papers (the axes' numbers,
// titles and units, and a legend of the curves); the read-out boxes over the
// drawing are left out.
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>
#include <string>

#include "analysis/graph_axes.h"
#include "app/picture_file.h"

namespace quillon {

class PictureBox;

// In the order of the types "Save picture..." offers.
enum class PictureFormat { Png = 0, Svg = 1 };

// The types "Save picture..." offers.
inline constexpr const char* kPictureFileFilter =
    "PNG picture (*.png)|*.png|SVG drawing (*.svg)|*.svg";
// Device pixels of a PNG picture per device pixel on screen.
inline constexpr int kPictureScale = 2;

// Where the drawing sits in a picture, in device-independent pixels: the
// drawing area of the picture box, moved right and down by the frame's
// margins, in a picture of `size`.
struct PictureLayout {
    QRect drawing;
    QSize size;
};
PictureLayout LayOutPicture(const PictureBox& picture, const GraphFrame& frame);

// The picture at kPictureScale times the screen's resolution, each line as
// wide as on screen; null while the drawing area is empty.
QImage PictureImage(const PictureBox& picture, const GraphFrame& frame);

// The file's content: PNG of PictureImage, or an SVG drawing the size of the
// picture in pixels, with lines one pixel wide.
QByteArray PictureFileBytes(const PictureBox& picture, const GraphFrame& frame,
                            PictureFormat format);

// ".png" or ".svg".
const char* PictureExtension(PictureFormat format);

// Writes the file in one step (an older file of that name stays whole when
// anything fails). No value on success, otherwise the message for the user.
std::optional<std::string> SavePictureFile(const std::string& path, const PictureBox& picture,
                                           const GraphFrame& frame, PictureFormat format);

}  // namespace quillon
