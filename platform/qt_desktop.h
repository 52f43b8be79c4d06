// The desktop of a Qt program: QMessageBox, QApplication::beep, the
// application-wide override cursor and QFileDialog.
#pragma once

#include "platform/desktop.h"

class QWidget;

namespace quillon {

// "Data|*.txt" as a Qt name filter: "Data (*.txt)". Pairs of description
// and pattern become filters of their own; a description that already ends
// in its pattern in brackets, "Table (*.txt)|*.txt", is taken as it is.
std::string QtNameFilters(const std::string& filter);

class QtDesktop final : public Desktop {
public:
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void Beep() override;
    void SetWaitCursor(bool on) override;
    std::string AskSaveFileName(const std::string& filter,
                                const std::string& suggestedName) override;
    SaveChoice AskSaveFile(const std::string& filter, const std::string& suggestedName) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    std::vector<std::string> AskOpenFileNames(const std::string& filter) override;
    std::optional<std::string> AskText(const std::string& prompt, const std::string& title,
                                       const std::string& initial) override;

private:
    bool waitCursor_ = false;
};

}  // namespace quillon
