#include "app/captioned_frame.h"

#include <QFontMetrics>
#include <QPainter>

namespace quillon {

void CaptionedFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QRect caption(8, 0, metrics.horizontalAdvance(title()), metrics.height());
    // The top line leaves a gap for the caption rather than painting over
    // it: the frame may sit on a tab page of another shade than the window.
    const qreal top = metrics.height() / 2 + 0.5;
    const qreal left = 0.5, right = width() - 0.5, bottom = height() - 0.5;
    // The outline's points in drawing order, in two rows.
    // clang-format off
    const QPointF outline[] = {{caption.left() - 2.0, top}, {left, top},    {left, bottom},
                               {right, bottom},             {right, top},   {caption.right() + 3.0, top}};
    // clang-format on
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawPolyline(outline, 6);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
}

}  // namespace quillon
