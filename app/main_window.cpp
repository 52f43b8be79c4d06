#include "app/main_window.h"

namespace quillon {

namespace {
// Client area of 9435 x 6810 twips at 15 twips per pixel.
constexpr int kClientWidth = 629;
constexpr int kClientHeight = 454;
}  // namespace

FormLCR::FormLCR(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(kMainWindowCaption));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(kClientWidth, kClientHeight);
}

}  // namespace quillon
