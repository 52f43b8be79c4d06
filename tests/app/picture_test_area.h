// The drawing area the picture tests draw on, and where a colour lies in a
// rendered picture.
#pragma once

#include <QImage>
#include <vector>

#include "app/picture_box.h"

namespace quillon::testing {

// A drawing area of 200 x 100 pixels where one user unit is one pixel and y
// grows upward, so a user point (x, y) lies in image pixel
// (floor(x), floor(100 - y)).
inline void UseUnitArea(PictureBox& box)
{
    box.resize(202, 102);
    box.Scale(0, 100, 200, 0);
}

// The columns of one row that have the colour.
inline std::vector<int> ColumnsOf(const QImage& image, int row, QRgb colour)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, row) == colour) columns.push_back(x);
    return columns;
}

}  // namespace quillon::testing
