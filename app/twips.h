// Control positions are kept in twips, the unit the window was laid out in;
// the toolkit's logical pixels already follow the screen's pixel ratio.
#pragma once

#include <QRect>
#include <QWidget>

namespace quillon {

inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

// Places a control by left, top, width and height in twips, relative to its
// parent.
template <typename Control>
Control* Place(Control* control, int left, int top, int width, int height)
{
    control->setGeometry(TwipsRect(left, top, width, height));
    return control;
}

}  // namespace quillon
