// The desktop of a Qt program: QMessageBox, QApplication::beep and the
// application-wide override cursor.
#pragma once

#include "platform/desktop.h"

class QWidget;

namespace quillon {

class QtDesktop final : public Desktop {
public:
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void Beep() override;
    void SetWaitCursor(bool on) override;

private:
    bool waitCursor_ = false;
};

}  // namespace quillon
