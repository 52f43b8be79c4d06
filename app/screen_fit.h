// Windows of our own open within the screen they open on and can be made as
// small as it is: a 1024 x 768 laptop, or a large screen at a scale factor
// of 2, must show every button. What does not fit scrolls.
#pragma once

#include <QSize>

class QWidget;

namespace quillon {

// The smallest screen a window of ours must fit, in device-independent
// pixels: 1024 x 768 at twice the resolution, less a taskbar and a title.
inline constexpr QSize kSmallestScreen{512, 340};

// Resizes the window to `preferred`, or to what the available area of its
// screen holds, and moves it into that area.
void FitToScreen(QWidget& window, QSize preferred);

}  // namespace quillon
