// The program's main window.
#pragma once

#include <QWidget>

namespace quillon {

inline constexpr const char* kMainWindowCaption = "Agilent 4284A controller C-V & G-V measurement ";

class FormLCR final : public QWidget {
    Q_OBJECT

public:
    explicit FormLCR(QWidget* parent = nullptr);
};

}  // namespace quillon
