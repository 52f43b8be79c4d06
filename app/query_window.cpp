#include "app/query_window.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <utility>

#include "app/fixed_window.h"
#include "gpib/ni_global.h"

namespace quillon {

namespace {

// Client area of 6645 x 4365 twips.
constexpr int kClientWidthTwips = 6645;
constexpr int kClientHeightTwips = 4365;

void SetColours(QWidget& control, QPalette::ColorRole background, const QColor& paper,
                QPalette::ColorRole foreground, const QColor& ink)
{
    QPalette palette = control.palette();
    palette.setColor(background, paper);
    palette.setColor(foreground, ink);
    control.setPalette(palette);
    control.setAutoFillBackground(true);
}

}  // namespace

QFont QueryWindowFont()
{
    QFont font;
    font.setFamilies({"MS PGothic", "IPAPGothic", "Noto Sans CJK JP"});
    font.setPointSize(9);
    return font;
}

Test::Test(Desktop& desktop, QLineEdit* addressBox, bool measurementRunning,
           MeterIdentifiedHandler meterIdentified, QWidget* parent)
    : QWidget(parent),
      desktop_(desktop),
      addressBox_(addressBox),
      measurementRunning_(measurementRunning),
      meterIdentified_(std::move(meterIdentified))
{
    setAttribute(Qt::WA_DeleteOnClose);
    SetUpFixedWindow(*this, kQueryWindowCaption, kClientWidthTwips, kClientHeightTwips);
    setFont(QueryWindowFont());

    ui_.Readings = Place(new QLabel("Readings", this), 360, 360, 5895, 255);
    SetColours(*ui_.Readings, QPalette::Window, Qt::white, QPalette::WindowText, Qt::black);

    // The label sits beneath the list, as a label under a list box always
    // did on the desktop this window comes from: it must never hide a reply.
    ui_.status = Place(new QLabel("STOPPED", this), 840, 1200, 975, 255);
    SetColours(*ui_.status, QPalette::Window, Qt::lightGray, QPalette::WindowText, Qt::red);

    ui_.ReadingsList = Place(new QListWidget(this), 360, 720, 5895, 2550);
    SetColours(*ui_.ReadingsList, QPalette::Base, Qt::white, QPalette::Text, Qt::black);
    ui_.ReadingsList->setSelectionMode(QAbstractItemView::SingleSelection);

    ui_.RunRepeat = Place(new QPushButton("Run", this), 360, 3600, 1125, 495);
    ui_.QuitButton = Place(new QPushButton("Quit", this), 5280, 3600, 1005, 495);
    ui_.RunRepeat->setEnabled(!measurementRunning_);

    connect(ui_.RunRepeat, &QPushButton::clicked, this, &Test::RunRepeat_Click);
    connect(ui_.QuitButton, &QPushButton::clicked, this, &Test::QuitButton_Click);

    Form_Load();
}

void Test::Form_Load()
{
    // A fresh registration for the query's own calls; a measurement run in
    // progress keeps the one it works with.
    if (!measurementRunning_) statusCellsRegistered = 0;
    ClearAndRunQuery(*this, desktop_, measurementRunning_);
}

void Test::RunRepeat_Click()
{
    ClearAndRunQuery(*this, desktop_, measurementRunning_);
}

void Test::QuitButton_Click()
{
    close();
}

void Test::SetMeasurementRunning(bool running)
{
    measurementRunning_ = running;
    ui_.RunRepeat->setEnabled(!running);
}

void Test::AddReading(const std::string& line)
{
    ui_.ReadingsList->addItem(QString::fromLatin1(line.data(), static_cast<int>(line.size())));
}

void Test::RefreshReadings()
{
    ui_.ReadingsList->repaint();
}

int Test::ReadingCount() const
{
    return ui_.ReadingsList->count();
}

void Test::RemoveFirstReading()
{
    delete ui_.ReadingsList->takeItem(0);
}

void Test::EnableQuit(bool enabled)
{
    ui_.QuitButton->setEnabled(enabled);
}

void Test::SetMeterAddress(const std::string& address)
{
    if (addressBox_) addressBox_->setText(QString::fromStdString(address));
}

void Test::AddListener(int address, const std::string& identification)
{
    if (meterIdentified_ && identification.find(kMeterModel) != std::string::npos)
        meterIdentified_(address, identification);
}

}  // namespace quillon
