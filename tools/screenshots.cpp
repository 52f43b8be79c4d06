// Makes the README's screenshots from the real windows on Qt's offscreen
// platform, with the simulated meter in real time: the main window's tabs,
// a run in progress, the summary and graphs of a finished run, the result
// table, the Analysis window, the calculator and the query window; then the
// graph's right-click menu, a picture and a CSV data file saved through it,
// and the curves of two more devices with the earlier runs shown beneath.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/result_table.h"
#include "app/bus_choice.h"
#include "app/correction_window.h"
#include "app/frequencies_window.h"
#include "app/frequency_analysis_view.h"
#include "app/main_window.h"
#include "app/pad_area_calculator.h"
#include "app/picture_box.h"
#include "app/query_window.h"
#include "app/results_settings.h"
#include "app/runs_window.h"
#include "app/tab_control.h"
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
    std::string AskSaveFileName(const std::string&, const std::string&) override { return saveAs; }
    quillon::SaveChoice AskSaveFile(const std::string&, const std::string&) override
    {
        return {saveAs, saveType};
    }
    bool AskYesNo(const std::string& text, const std::string&) override
    {
        // The Correction window's prompts to move the probes.
        if (yesAnswers > 0) {
            --yesAnswers;
            return true;
        }
        std::fprintf(stderr, "unexpected question: %s\n", text.c_str());
        ++messages;
        return false;
    }
    std::string saveAs;
    std::size_t saveType = 0;
    int yesAnswers = 0;
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
        window.SetBusDescription("simulated");
        const quillon::FormLCRControls& ui = window.Controls();
        window.show();
        const auto keep = [&](const QPixmap& picture, const char* name) {
            if (picture.save(QString::fromStdString((output / name).string())))
                ++saved;
            else
                std::fprintf(stderr, "could not save %s\n", name);
        };
        const auto save = [&](QWidget& widget, const char* name) {
            QApplication::processEvents();
            keep(widget.grab(), name);
        };
        // The right-click menu lies over the window as a window of its own.
        const auto saveMenu = [&](quillon::FormLCR& shown, const char* name) {
            QMenu menu;
            shown.FillGraphMenu(menu, quillon::kCvTab);
            menu.addSeparator();
            shown.AddAnalysisAction(menu);
            const QPoint at = ui.Picture1->mapTo(&shown, QPoint(200, 110));
            menu.popup(shown.mapToGlobal(at));
            QApplication::processEvents();
            QPixmap picture = shown.grab();
            QPainter painter(&picture);
            painter.drawPixmap(at, menu.grab());
            painter.end();
            menu.close();
            keep(picture, name);
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

        // "Check" first, so that the run's CSV data file names the meter.
        QTest::mouseClick(ui.Command5, Qt::LeftButton);
        quillon::WriteRunLabels(folder, {"w3-d12", "10 nm oxide, 1e16"});

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

        window.activateWindow();
        if (QTest::qWaitForWindowActive(&window))
            QTest::keyClick(ui.Text1[quillon::kStartBias], Qt::Key_A, Qt::AltModifier);
        if (quillon::AnalysisWindow* analysis = window.AnalysisWindowIfOpen()) {
            save(*analysis, "analysis.png");
            analysis->close();
        }

        ui.SSTab1->SetCurrentTab(quillon::kPage2Tab);
        if (quillon::Test* query = window.QueryWindow()) save(*query, "query.png");
        const int pointsMeasured = window.Sweep().PointCount;

        // The same run as a CSV data file, with the meter "Check" has just
        // read; the CSV head in the README is its first lines.
        desktop.saveAs = (output / "cv-example.csv").string();
        desktop.saveType = quillon::kCsvDataFileType;
        QTest::mouseClick(ui.Command7, Qt::LeftButton);
        desktop.saveAs = (output / "saved-picture-cv.png").string();
        desktop.saveType = 0;
        window.SavePicture(quillon::kCvTab);
        ui.SSTab1->SetCurrentTab(quillon::kPage1Tab);
        ui.SSTab2->SetCurrentTab(quillon::kCvTab);
        saveMenu(window, "graph-menu.png");

        // Two more devices, a thicker oxide and a higher doping, ten times
        // faster than real time; the first device's curve is the oldest.
        quillon::MosDevice device;
        bus.lab.meter->SetTimeScale(0.1);
        const std::tuple<double, double, quillon::RunLabels> devices[] = {
            {12e-9, 1e16, {"w3-d14", "12 nm oxide, 1e16"}},
            {10e-9, 3e16, {"w4-d02", "10 nm oxide, 3e16"}}};
        for (const auto& [oxide, doping, labels] : devices) {
            device.oxideThicknessMetres = oxide;
            device.dopingPerCubicCm = doping;
            bus.lab.meter->SetDevice(device);
            quillon::WriteRunLabels(folder, labels);
            QTest::mouseClick(ui.Command1, Qt::LeftButton);
        }
        window.SetShowEarlierRuns(true);
        save(window, "graph-earlier-runs.png");
        window.SetShowEarlierRuns(false);

        // The three runs kept, compared, and their table across runs.
        window.ShowRunsWindow();
        if (quillon::RunsWindow* runs = window.RunsWindowIfOpen()) {
            for (const std::string& key : std::vector<std::string>(runs->ListedKeys()))
                runs->SetTicked(key, true);
            runs->resize(1180, 820);
            save(*runs, "runs.png");
            std::ofstream(output / "runs-table.csv", std::ios::binary) << runs->TableText(',');
            runs->close();
        }
        // One device with a continuum of traps at four frequencies, its
        // family analysed; then C-f at two biases in depletion.
        device = quillon::MosDevice{};
        device.trapResponse = quillon::TrapResponse::Continuum;
        bus.lab.meter->SetDevice(device);
        bus.lab.meter->SetTimeScale(0.05);
        quillon::WriteRunLabels(folder, {"w5-d01", "10 nm oxide, traps"});
        // Accumulation for Cox, and fine steps through depletion, where the
        // Gp/w peak moves across the four frequencies.
        ui.Text1[quillon::kStartBias]->setText("-3");
        ui.Text1[quillon::kStopBias]->setText("0");
        ui.Text1[quillon::kBiasStep]->setText("0.01");
        ui.Check1[quillon::kDoubleSweep]->setChecked(false);
        window.ShowFrequenciesWindow();
        if (quillon::FrequenciesWindow* frequencies = window.FrequenciesWindowIfOpen()) {
            frequencies->ListBox()->setText("1k 10k 100k 1M");
            frequencies->RunList();
            save(*frequencies, "frequencies.png");
            if (quillon::AnalysisWindow* analysis = window.AnalysisWindowIfOpen()) {
                analysis->resize(1180, 1120);
                save(*analysis, "frequencies-analysis.png");
                std::filesystem::remove(output / "frequencies-report.txt");
                desktop.saveAs = (output / "frequencies-report").string();
                QTest::mouseClick(analysis->FrequencyView()->SaveButton(), Qt::LeftButton);
                analysis->close();
            }
            frequencies->BiasBox()->setText("-0.8 -0.7");
            frequencies->MeasureFrequencySweep();
            if (const auto& sweep = frequencies->LastFrequencySweep())
                std::filesystem::copy_file(sweep->path, output / "cf-example.csv",
                                           std::filesystem::copy_options::overwrite_existing);
            frequencies->close();
        }

        // The Correction window after a cable length, a spot open and a spot
        // short on a probe station of 0.5 pF, 2 ohm and 50 nH with 1 m cables.
        bus.lab.meter->SetFixture({0.5e-12, 0.0, 2.0, 50e-9, 1.0});
        window.SetProbeMover(quillon::SimulatedProbeMover(*bus.lab.meter));
        window.ShowCorrectionWindow();
        if (quillon::CorrectionWindow* correction = window.CorrectionWindowIfOpen()) {
            correction->CableBox()->setCurrentIndex(1);
            correction->SetCable();
            correction->SpotChoice()->setChecked(true);
            desktop.yesAnswers = 2;
            correction->Measure(quillon::CorrectionStandard::Open);
            correction->Measure(quillon::CorrectionStandard::Short);
            correction->resize(520, correction->sizeHint().height());
            save(*correction, "correction.png");
            correction->close();
        }
        std::printf("%d points measured, %d pictures in %s\n", pointsMeasured, saved,
                    output.c_str());
    }
    quillon::DeselectGpibDriver();
    const bool dataSaved = std::filesystem::exists(scratch / "sweep.txt") &&
                           std::filesystem::exists(output / "cv-example.csv") &&
                           std::filesystem::exists(output / "saved-picture-cv.png") &&
                           std::filesystem::exists(output / "frequencies-report.txt") &&
                           std::filesystem::exists(output / "cf-example.csv");
    std::filesystem::remove_all(scratch);
    return saved == 15 && desktop.messages == 0 && dataSaved ? 0 : 1;
}
