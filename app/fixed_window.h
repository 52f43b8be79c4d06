// What the program's windows share: a fixed client area laid out in twips,
// a caption, a close box but no minimise or maximise, and the font.
#pragma once

#include <QFont>
#include <QStringList>
#include <QWidget>

#include "app/twips.h"

namespace quillon {

// The layout was drawn for a narrow 9-point system font, so a narrow face is
// preferred where one is installed; otherwise captions would be cut off in
// their fixed places.
inline QFont WindowFont()
{
    QFont font;
    font.setFamilies({"MS UI Gothic", "Tahoma", "Liberation Sans Narrow", "DejaVu Sans Condensed",
                      "DejaVu Sans"});
    font.setPixelSize(11);
    return font;
}

inline void SetUpFixedWindow(QWidget& window, const char* caption, int widthTwips, int heightTwips)
{
    window.setWindowTitle(caption);
    window.setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    window.setFixedSize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
    window.setFont(WindowFont());
}

}  // namespace quillon
