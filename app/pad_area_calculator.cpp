#include "app/pad_area_calculator.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "app/captioned_frame.h"
#include "app/fixed_window.h"

namespace quillon {

namespace {

// Client area of 4740 x 3300 twips.
constexpr int kClientWidthTwips = 4740;
constexpr int kClientHeightTwips = 3300;

// The outline of a round pad, for the eye only.
class CircleShape final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
};

}  // namespace

Form1::Form1(const ProgramFolder& programFolder, QLineEdit* padAreaBox, QWidget* parent)
    : QWidget(parent), programFolder_(programFolder), padAreaBox_(padAreaBox)
{
    setAttribute(Qt::WA_DeleteOnClose);
    SetUpFixedWindow(*this, "Form1", kClientWidthTwips, kClientHeightTwips);

    const auto label = [this](QWidget* frame, int index, const char* caption, int left, int top,
                              int width) {
        ui_.Label1[static_cast<std::size_t>(index)] =
            Place(new QLabel(caption, frame), left, top, width, 255);
    };
    const auto box = [this](QWidget* frame, int index, int top) {
        const std::string& design = kAreaDesignTexts[static_cast<std::size_t>(index)];
        ui_.Text1[static_cast<std::size_t>(index)] =
            Place(new QLineEdit(QString::fromStdString(design), frame), 2400, top, 735, 270);
    };

    ui_.Frame1 = Place(new CaptionedFrame("Rectangle", this), 120, 120, 4455, 1455);
    label(ui_.Frame1, kRectangleWidth, "Width [um]", 1080, 360, 975);
    box(ui_.Frame1, kRectangleWidth, 360);
    label(ui_.Frame1, kRectangleHeight, "Height [um]", 1080, 720, 975);
    box(ui_.Frame1, kRectangleHeight, 720);
    label(ui_.Frame1, kRectangleRatio, "Correction Ratio", 720, 1080, 1335);
    box(ui_.Frame1, kRectangleRatio, 1080);
    ui_.Command1 = Place(new QPushButton("Calculate", ui_.Frame1), 3360, 480, 975, 615);

    ui_.Frame2 = Place(new CaptionedFrame("Circle", this), 120, 1800, 4455, 1215);
    ui_.Shape2 = Place(new CircleShape(ui_.Frame2), 240, 360, 615, 615);
    label(ui_.Frame2, kCircleDiameter, "Diameter. [um]", 960, 480, 1335);
    box(ui_.Frame2, kCircleDiameter, 480);
    label(ui_.Frame2, kCircleRatio, "Correction Ratio", 840, 840, 1335);
    box(ui_.Frame2, kCircleRatio, 840);
    ui_.Command2 = Place(new QPushButton("Calculate", ui_.Frame2), 3360, 360, 975, 615);

    connect(ui_.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(ui_.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

    LoadAreaValues();
}

void Form1::LoadAreaValues()
{
    const AreaTexts shown = ReadAreaValues(programFolder_);
    for (std::size_t i = 0; i < shown.size(); ++i)
        ui_.Text1[i]->setText(QString::fromStdString(shown[i]));
}

void Form1::SaveAreaValues()
{
    WriteAreaValues(programFolder_, Inputs());
}

AreaTexts Form1::Inputs() const
{
    AreaTexts texts;
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = ui_.Text1[i]->text().toStdString();
    return texts;
}

void Form1::Command1_Click()
{
    Finish(RectangleAreaText(Inputs()));
}

void Form1::Command2_Click()
{
    Finish(CircleAreaText(Inputs()));
}

void Form1::Finish(const std::string& areaText)
{
    if (padAreaBox_) padAreaBox_->setText(QString::fromStdString(areaText));
    SaveAreaValues();
    close();
}

}  // namespace quillon
