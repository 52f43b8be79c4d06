// The font of the program's windows. The layout was drawn for a narrow
// 9-point system font, so a narrow face is preferred where one is installed;
// otherwise captions would be cut off in their fixed places.
#pragma once

#include <QFont>
#include <QStringList>

namespace quillon {

inline QFont WindowFont()
{
    QFont font;
    font.setFamilies({"MS UI Gothic", "Tahoma", "Liberation Sans Narrow", "DejaVu Sans Condensed",
                      "DejaVu Sans"});
    font.setPixelSize(11);
    return font;
}

}  // namespace quillon
