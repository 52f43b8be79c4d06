// A picture as the bytes of its file, and those bytes written, for every
// window that saves a picture.
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>
#include <string>

namespace quillon {

// The image as a PNG file; empty for a null image or when encoding fails.
QByteArray PngBytes(const QImage& image);

// Writes a picture file's bytes in one step (an older file of that name
// stays whole when anything fails); the message for the user on failure,
// "there is no picture to save" among them for no bytes.
std::optional<std::string> SavePictureBytes(const std::string& path, const QByteArray& bytes);

}  // namespace quillon
