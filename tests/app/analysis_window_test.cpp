// The Analysis window as a user reaches it from the main window, over the
// simulated meter in virtual time.
#include "app/analysis_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include "app/frequency_analysis_view.h"
#include "app/main_window.h"
#include "app/picture_box.h"
#include "app/screen_fit.h"
#include "gpib/gpib_binding.h"
#include "sim/mos_capacitor.h"
#include "sim/simulated_lab.h"
#include "tests/app/app_environment.h"

namespace quillon {
namespace {

class AnalysisWindowTest : public ::testing::Test {
protected:
    AnalysisWindowTest()
    {
        const char* texts[kTextFieldCount] = {"-3", "3",     "0.05", "1000000", "1", "0",
                                              "50", "10000", "0",    "17",      "1"};
        for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
        ui.Check1[kDoubleSweep]->setChecked(true);
        ui.Option2[0]->setChecked(true);
        window.show();
    }
    ~AnalysisWindowTest() override { DeselectGpibDriver(); }

    void Start() { QTest::mouseClick(ui.Command1, Qt::LeftButton); }

    // Alt+A with the focus in one of the main window's boxes.
    AnalysisWindow* PressAltA()
    {
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(ui.Text1[kStartBias], Qt::Key_A, Qt::AltModifier);
        return window.AnalysisWindowIfOpen();
    }

    // Right-clicks the widget and chooses "Analysis..." in its menu.
    void ChooseAnalysisIn(QWidget* widget)
    {
        QStringList offered;
        QTimer::singleShot(0, &window, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* action : menu->actions()) {
                offered << action->text();
                if (action->text() == "Analysis...") action->trigger();
            }
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                                widget->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(widget, &event);
        // The graphs offer their pictures first, the windows last.
        EXPECT_EQ(offered.mid(offered.size() - 4),
                  (QStringList{"Analysis...", "Runs...", "Frequencies...", "Correction..."}))
            << offered.join(", ").toStdString();
    }

    std::string Cell(AnalysisWindow* shown, int row, int column) const
    {
        return shown->Table()->item(row, column)->text().toStdString();
    }

    testing::AppEnvironment env;
    SimulatedLab lab = [this] {
        SimulatedLabSettings settings;
        settings.device.seriesResistanceOhms = 2000;
        return testing::SelectedSimulatedLab(env.clock, settings);
    }();
    FormLCR window{env.Get()};
    const FormLCRControls& ui = window.Controls();
};

TEST_F(AnalysisWindowTest, OpensFromItsKeyAndFromTheMenusOfTheGraphsAndTheSummaryAsOneWindow)
{
    EXPECT_EQ(window.AnalysisWindowIfOpen(), nullptr);
    // Before any run every value says why it has none.
    AnalysisWindow* shown = PressAltA();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowTitle().toStdString(), "Analysis");
    EXPECT_EQ(Cell(shown, 1, 1), "n/a");
    EXPECT_EQ(Cell(shown, 1, 3), "fewer than two readable points");
    EXPECT_EQ(shown->Table()->item(1, 1)->toolTip().toStdString(),
              "fewer than two readable points");
    shown->close();
    EXPECT_EQ(window.AnalysisWindowIfOpen(), nullptr);

    Start();
    for (QWidget* widget : {static_cast<QWidget*>(ui.Picture1), static_cast<QWidget*>(ui.Picture2),
                            static_cast<QWidget*>(ui.Label1)}) {
        ChooseAnalysisIn(widget);
        EXPECT_EQ(window.AnalysisWindowIfOpen(), shown);
    }
    EXPECT_EQ(Cell(shown, 0, 1), "p-type");
    EXPECT_TRUE(shown->Shown().flatBandUp.value);
    EXPECT_EQ(shown->Shown().curve.size(), 242u);
}

TEST_F(AnalysisWindowTest, OpensWithinTheScreenAndShrinksToASmallOneWithItsButtonsInView)
{
    Start();
    AnalysisWindow* shown = PressAltA();
    ASSERT_NE(shown, nullptr);
    const QRect available = shown->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(shown->frameGeometry())) << shown->frameGeometry().width();
    // As small as 1024 x 768 at a scale factor of 2 allows, and still usable.
    EXPECT_LE(shown->minimumSizeHint().width(), kSmallestScreen.width());
    EXPECT_LE(shown->minimumSizeHint().height(), kSmallestScreen.height());
    shown->resize(kSmallestScreen);
    QApplication::processEvents();
    for (QWidget* button :
         {static_cast<QWidget*>(shown->CopyButton()), static_cast<QWidget*>(shown->SaveButton())}) {
        const QRect at(button->mapTo(shown, QPoint(0, 0)), button->size());
        EXPECT_TRUE(shown->rect().contains(at)) << button->objectName().toStdString();
        EXPECT_TRUE(button->isVisible());
    }
}

TEST_F(AnalysisWindowTest, FollowsEachNewRunAndTheCorrectionBox)
{
    Start();
    AnalysisWindow* shown = PressAltA();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(shown->Shown().seriesResistance.value);
    EXPECT_NEAR(*shown->Shown().seriesResistance.value, 2000, 200);
    const double corrected = *shown->Shown().oxideCapacitance.value;

    shown->CorrectionBox()->setChecked(false);
    EXPECT_FALSE(shown->Shown().curveCorrected);
    EXPECT_LT(*shown->Shown().oxideCapacitance.value, 0.9 * corrected);
    EXPECT_EQ(Cell(shown, 1, 3), "not applied: \"Correct for Rs\" is off");
    shown->CorrectionBox()->setChecked(true);

    ui.Text1[kBiasStep]->setText("0.1");
    Start();
    EXPECT_EQ(window.AnalysisWindowIfOpen(), shown);
    EXPECT_EQ(shown->Shown().curve.size(), 122u);

    // The C-V plot marks the flat band where the table has it.
    QChart* chart = shown->CapacitanceChart()->chart();
    QStringList names;
    for (QAbstractSeries* series : chart->series()) names << series->name();
    EXPECT_EQ(names, (QStringList{"measured", "corrected for Rs", "Vfb", "Vth"}));
    auto* flatBand = qobject_cast<QScatterSeries*>(chart->series()[2]);
    ASSERT_NE(flatBand, nullptr);
    ASSERT_GE(flatBand->count(), 1);
    EXPECT_DOUBLE_EQ(flatBand->at(0).x(), *shown->Shown().flatBandUp.value);
    EXPECT_EQ(chart->axes(Qt::Horizontal).front()->titleText().toStdString(), "Bias [V]");
    EXPECT_EQ(chart->axes(Qt::Vertical).front()->titleText().toStdString(), "C [pF]");

    // Stopped before inversion: the doping says why it may be wrong, and
    // does not look like the values beside it.
    ui.Text1[kStopBias]->setText("-0.3");
    Start();
    EXPECT_EQ(Cell(shown, 4, 3).rfind("no flat part in inversion", 0), 0u) << Cell(shown, 4, 3);
    EXPECT_NE(shown->Table()->item(4, 1)->foreground().color(),
              shown->Table()->item(2, 1)->foreground().color());
}

TEST_F(AnalysisWindowTest, CopyGivesTheTableAndSaveReportWritesTheFileWhole)
{
    Start();
    AnalysisWindow* shown = PressAltA();
    ASSERT_NE(shown, nullptr);

    QTest::mouseClick(shown->CopyButton(), Qt::LeftButton);
    const QStringList lines = QApplication::clipboard()->text().split("\r\n");
    ASSERT_EQ(lines.size(), shown->Table()->rowCount() + 2);  // header, rows, empty after the last
    EXPECT_EQ(lines[0], "Parameter\tValue\tUnit\tNote");
    EXPECT_EQ(lines[1], "Substrate\tp-type\t\tC falls towards inversion");
    EXPECT_TRUE(lines[2].startsWith("Series resistance Rs\t" +
                                    QString::fromStdString(Cell(shown, 1, 1)) + "\tOhm\t"));

    env.desktop.saveAnswers.push_back(env.temp.File("report").string());
    QTest::mouseClick(shown->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(env.desktop.saveFilters, (std::vector<std::string>{"Report(*.txt)|*.txt"}));
    EXPECT_EQ(env.desktop.saveSuggestions, (std::vector<std::string>{"cv-20240305-140709-report"}));
    const std::string report = env.temp.Read("report.txt");
    EXPECT_EQ(report.rfind("Analysis of the last run\r\n", 0), 0u);
    EXPECT_NE(report.find("\r\nFrequency [Hz]\t1000000\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\n[curve corrected for Rs]\r\nV[V]\tC[F]\tG[S]\r\n-3.000\t"),
              std::string::npos);

    // A folder in the way: the message says so and nothing else happens.
    env.desktop.saveAnswers.push_back(env.temp.File("folder.txt").string());
    std::filesystem::create_directory(env.temp.File("folder.txt"));
    QTest::mouseClick(shown->SaveButton(), Qt::LeftButton);
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_EQ(env.desktop.messages[0].text.rfind("The report could not be saved to ", 0), 0u);
}

TEST_F(AnalysisWindowTest, FrequenciesTabShowsTheFamilyWithReasonsAndCopiesAndSavesIt)
{
    MosDevice device;
    device.trapResponse = TrapResponse::Continuum;
    FrequencyFamily family;
    family.sample = "wafer 7";
    family.source = "4 runs";
    family.padAreaSquareMicrons = 10000;
    for (double frequency : {1e3, 1e4, 1e5, 1e6})
        for (int i = 0; i <= 100; ++i) {
            const double bias = -3.0 + 0.05 * i;
            const auto value = EvaluateMosCapacitor(device, bias, frequency);
            family.points.push_back(
                {bias, frequency, value.capacitanceFarads, value.conductanceSiemens});
        }

    AnalysisWindowKeeper keeper(env.desktop);
    keeper.ShowFrequencyFamily(family);
    AnalysisWindow* shown = keeper.Window();
    ASSERT_NE(shown, nullptr);
    FrequencyAnalysisView* view = shown->FrequencyView();
    EXPECT_EQ(shown->Tabs()->currentWidget(), view);
    EXPECT_EQ(shown->Tabs()->tabText(1), "Frequencies");
    EXPECT_EQ(view->CapacitanceFamilyChart()->chart()->series().size(), 4);
    EXPECT_EQ(view->CapacitanceFamilyChart()->chart()->series()[0]->name(), "1 kHz");
    EXPECT_EQ(view->ConductanceFamilyChart()->chart()->series()[3]->name(), "1 MHz");
    ASSERT_EQ(view->Table()->rowCount(), 101);
    // -3 V: n/a, its reason in the tool tip.
    EXPECT_EQ(view->Table()->item(0, 3)->text(), "n/a");
    EXPECT_EQ(view->Table()->item(0, 3)->toolTip().toStdString(),
              view->Shown().biases[0].trapDensity.reason);
    int withDensity = 0;
    for (const BiasTraps& b : view->Shown().biases) withDensity += b.trapDensity.value ? 1 : 0;
    EXPECT_GT(withDensity, 0);

    QTest::mouseClick(view->CopyButton(), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), TrapTableText(view->Shown()));

    env.desktop.saveAnswers.push_back(env.temp.File("traps").string());
    QTest::mouseClick(view->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(env.desktop.saveSuggestions, (std::vector<std::string>{"wafer 7-report"}));
    const std::string report = env.temp.Read("traps.txt");
    EXPECT_EQ(report.rfind("Analysis of several frequencies: wafer 7\r\nFrom: 4 runs\r\n"
                           "Frequencies: 1 kHz 10 kHz 100 kHz 1 MHz\r\n",
                           0),
              0u);
    EXPECT_NE(report.find(TrapTableText(view->Shown())), std::string::npos);

    // The charts as a picture, at twice the screen's resolution.
    env.desktop.saveAnswers.push_back(env.temp.File("charts").string());
    QTest::mouseClick(view->SavePictureButton(), Qt::LeftButton);
    EXPECT_EQ(env.desktop.saveFilters.back(), "PNG picture (*.png)|*.png");
    const QImage saved(QString::fromStdString(env.temp.File("charts.png").string()));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.width(), 2 * view->CapacitanceFamilyChart()->parentWidget()->width());
    EXPECT_TRUE(env.desktop.messages.empty());

    // The run's tab is still the run's.
    EXPECT_EQ(shown->Tabs()->tabText(0), "Run");
    EXPECT_TRUE(shown->Table()->isVisibleTo(shown->Tabs()->widget(0)));
}

}  // namespace
}  // namespace quillon
