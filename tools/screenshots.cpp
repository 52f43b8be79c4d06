// Makes the README's screenshots from the real windows on Qt's offscreen
// platform, with the simulated meter in real time: the main window's tabs,
// a run in progress, the summary and graphs of a finished run, the result
// table, the calculator and the query window.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/pad_area_calculator.h"
#include "app/picture_box.h"
#include "app/query_window.h"
#include "app/tab_control.h"
#include "bus/bus_choice.h"
#include "gpib/gpib_binding.h"

namespace {

// Shows nothing and answers the save dialog with a file in the scratch
// folder; a message would mean the pictures show something unintended.
class ScriptedDesktop final : public quillon::Desktop {
public:
    void ShowMessage(const std::string& text, const std::string&, quillon::MessageIcon) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        ++messages;
    }
    void Beep() override {}
    void SetWaitCursor(bool) override {}
    std::string AskSaveFileName(const std::string&) override { return saveAs; }
    bool AskYesNo(const std::string& text, const std::string&) override
    {
        std::fprintf(stderr, "unexpected question: %s\n", text.c_str());
        ++messages;
        return false;
    }
    std::string saveAs;
    int messages = 0;
};

constexpr const char* kSettings =
    "[meas]\r\nValue_00=-3\r\nValue_01=3\r\nValue_02=0.05\r\nValue_03=100000\r\n"
    "Value_04=1\r\nValue_05=0\r\nValue_06=50\r\nValue_07= 10000\r\nValue_08=0\r\n"
    "Value_09=17\r\nValue_10=1\r\nCheck_00=0\r\nCheck_01=1\r\nCheck_02=1\r\nCheck_03=0\r\n"
    "Check_04=0\r\nINTEG= 0\r\nInvert= 0\r\n[Area]\r\nValue_00=100\r\nValue_01=100\r\n"
    "Value_02=400\r\nValue_03=1\r\nValue_04=1\r\n";

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::filesystem::path output = std::filesystem::absolute(argv[1]);
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                          ("quillon-screenshots-" + std::to_string(getpid()));
    std::filesystem::create_directories(output);
    std::filesystem::create_directories(scratch);
    std::ofstream(scratch / "Quillon.ini", std::ios::binary) << kSettings;

    quillon::SystemClock clock;
    const quillon::FixedFolder folder(scratch.string());
    ScriptedDesktop desktop;
    desktop.saveAs = (scratch / "sweep").string();
    quillon::ChosenBus bus = quillon::ChooseBus(folder, clock);
    quillon::SelectGpibDriver(quillon::ChosenDriver(bus));
    int saved = 0;
    {
        quillon::FormLCR window(quillon::Environment{clock, folder, desktop});
        const quillon::FormLCRControls& ui = window.Controls();
        window.show();
        const auto save = [&](QWidget& widget, const char* name) {
            QApplication::processEvents();
            if (widget.grab().save(QString::fromStdString((output / name).string())))
                ++saved;
            else
                std::fprintf(stderr, "could not save %s\n", name);
        };
        save(window, "main-page1.png");
        ui.SSTab1->SetCurrentTab(quillon::kPage2Tab);
        ui.SSTab2->SetCurrentTab(quillon::kGvTab);
        save(window, "main-page2.png");
        ui.SSTab1->SetCurrentTab(quillon::kPage1Tab);
        ui.SSTab2->SetCurrentTab(quillon::kCvTab);

        QTest::mouseClick(ui.Command4, Qt::LeftButton);
        if (quillon::Form1* calculator = window.Calculator()) {
            save(*calculator, "calculator.png");
            calculator->close();
        }

        // A run of 242 points (a double sweep) at 30 ms a point, caught
        // half-way through, then its summary and graphs.
        QTimer::singleShot(3500, &window, [&] { save(window, "main-running.png"); });
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        QTest::mouseMove(ui.Picture1, QPoint(250, 80));
        save(window, "graph-cv.png");
        ui.SSTab1->SetCurrentTab(quillon::kInfoTab);
        ui.SSTab2->SetCurrentTab(quillon::kGvTab);
        QTest::mouseMove(ui.Picture2, QPoint(200, 120));
        save(window, "graph-gv-summary.png");
        ui.SSTab2->SetCurrentTab(quillon::kTextTab);
        QTest::mouseClick(ui.Command6, Qt::LeftButton);
        save(window, "result-table.png");
        QTest::mouseClick(ui.Command7, Qt::LeftButton);

        ui.SSTab1->SetCurrentTab(quillon::kPage2Tab);
        QTest::mouseClick(ui.Command5, Qt::LeftButton);
        if (quillon::Test* query = window.QueryWindow()) save(*query, "query.png");
        std::printf("%d points measured, %d pictures in %s\n", window.Sweep().PointCount, saved,
                    output.c_str());
    }
    quillon::DeselectGpibDriver();
    const bool dataSaved = std::filesystem::exists(scratch / "sweep.txt");
    std::filesystem::remove_all(scratch);
    return saved == 8 && desktop.messages == 0 && dataSaved ? 0 : 1;
}
