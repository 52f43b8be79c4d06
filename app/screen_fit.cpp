#include "app/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quillon {

void FitToScreen(QWidget& window, QSize preferred)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(preferred);
        return;
    }
    const QRect available = screen->availableGeometry();
    // The frame the window manager adds is not known before the window is
    // shown; a title bar and borders this wide fit every desktop we know.
    const QSize frame(16, 40);
    const QSize room = (available.size() - frame).expandedTo(window.minimumSizeHint());
    window.resize(preferred.boundedTo(room));
    QRect placed(window.pos(), window.size() + frame);
    if (!available.contains(placed)) {
        placed.moveTopLeft(available.topLeft());
        window.move(placed.topLeft());
    }
}

}  // namespace quillon
