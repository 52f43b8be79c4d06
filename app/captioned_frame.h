// A frame whose border runs through the middle of its caption, as the
// windows' frames were laid out: their first row sits just below that line.
// A style that puts the caption above the border instead would draw the
// border through that row.
#pragma once

#include <QGroupBox>

namespace quillon {

class CaptionedFrame final : public QGroupBox {
public:
    CaptionedFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillon
