// The pad-area calculator: a small window of its own that computes the area
// of a rectangular or circular pad, writes it into the main window's
// pad-area box, stores its inputs and closes.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

#include "app/pad_area.h"
#include "platform/program_folder.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

struct Form1Controls {
    QGroupBox* Frame1 = nullptr;  // "Rectangle"
    QGroupBox* Frame2 = nullptr;  // "Circle"
    QWidget* Shape2 = nullptr;
    QPushButton* Command1 = nullptr;  // "Calculate" of the rectangle
    QPushButton* Command2 = nullptr;  // "Calculate" of the circle
    std::array<QLabel*, kAreaBoxCount> Label1{};
    std::array<QLineEdit*, kAreaBoxCount> Text1{};
};

class Form1 final : public QWidget {
    Q_OBJECT

public:
    // The window deletes itself when it closes. `padAreaBox` receives the
    // area; the stored inputs are loaded at once.
    Form1(const ProgramFolder& programFolder, QLineEdit* padAreaBox, QWidget* parent = nullptr);

    const Form1Controls& Controls() const { return ui_; }

    void Command1_Click();
    void Command2_Click();

private:
    void LoadAreaValues();
    void SaveAreaValues();
    AreaTexts Inputs() const;
    void Finish(const std::string& areaText);

    const ProgramFolder& programFolder_;
    QPointer<QLineEdit> padAreaBox_;
    Form1Controls ui_;
};

}  // namespace quillon
