#include "app/runs_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <utility>

#include "analysis/result_table.h"
#include "app/results_settings.h"
#include "app/run_comparison_charts.h"
#include "app/screen_fit.h"
#include "common/text_number.h"

namespace quillon {

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// A positive number typed for what a file does not say; anything else
// leaves it unknown.
std::optional<double> AskedNumber(Desktop& desktop, const std::string& prompt)
{
    const std::optional<std::string> answer = desktop.AskText(prompt, "Open", "");
    if (!answer) return std::nullopt;
    const std::optional<double> number = WholeNumberOfText(*answer);
    if (number && *number > 0) return number;
    return std::nullopt;
}

}  // namespace

RunsWindow::RunsWindow(const ProgramFolder& folder, Desktop& desktop, RunCatalogue& catalogue,
                       RunsWindowActions actions, QWidget* parent)
    : QWidget(parent),
      folder_(folder),
      desktop_(desktop),
      catalogue_(catalogue),
      actions_(std::move(actions))
{
    setWindowTitle(kRunsWindowCaption);
    setAcceptDrops(true);

    const RunLabels labels = ReadRunLabels(folder_);
    sample_ = new QLineEdit(Text(labels.sample), this);
    note_ = new QLineEdit(Text(labels.note), this);
    sample_->setPlaceholderText("the device measured next");
    note_->setPlaceholderText("anything the data should say of it");
    auto* next = new QGridLayout;
    next->addWidget(new QLabel("Sample", this), 0, 0);
    next->addWidget(sample_, 0, 1);
    next->addWidget(new QLabel("Note", this), 0, 2);
    next->addWidget(note_, 0, 3);
    next->setColumnStretch(1, 1);
    next->setColumnStretch(3, 2);

    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText("Filter by sample or note");
    filter_->setClearButtonEnabled(true);
    open_ = new QPushButton("Open...", this);
    show_ = new QPushButton("Show in main window", this);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(filter_, 1);
    listButtons->addWidget(show_);
    listButtons->addWidget(open_);
    frequencies_ = new QPushButton("Frequencies...", this);
    listButtons->addWidget(frequencies_);
    correction_ = new QPushButton("Correction...", this);
    listButtons->addWidget(correction_);
    connect(correction_, &QPushButton::clicked, this, [this] {
        if (actions_.showCorrection) actions_.showCorrection();
    });

    list_ = new QTableWidget(0, kRunListColumnCount, this);
    QStringList titles;
    for (int column = 0; column < kRunListColumnCount; ++column)
        titles << RunListColumnTitle(column);
    list_->setHorizontalHeaderLabels(titles);
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setWordWrap(false);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setSortIndicatorShown(true);
    problems_ = new QLabel(this);
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    normalise_ = new QCheckBox("C / Cmax", this);
    logConductance_ = new QCheckBox("G on a log scale", this);
    copyPicture_ = new QPushButton("Copy picture", this);
    savePicture_ = new QPushButton("Save picture...", this);
    copyTable_ = new QPushButton("Copy table", this);
    saveTable_ = new QPushButton("Save table...", this);
    acrossFrequencies_ = new QPushButton("Across frequencies", this);
    acrossFrequencies_->setToolTip(
        "The ticked runs as one device at several frequencies, in the Analysis window");
    auto* chartButtons = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{normalise_, logConductance_})
        chartButtons->addWidget(widget);
    chartButtons->addStretch();
    for (QWidget* widget :
         {copyPicture_, savePicture_, copyTable_, saveTable_, acrossFrequencies_, frequencies_})
        chartButtons->addWidget(widget);
    charts_ = new RunComparisonCharts(desktop_, this);

    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addLayout(listButtons);
    topLayout->addWidget(list_);
    topLayout->addWidget(problems_);
    auto* bottom = new QWidget;
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addLayout(chartButtons);
    bottomLayout->addWidget(charts_);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(next);
    layout->addWidget(splitter, 1);
    FitToScreen(*this, QSize(1180, 860));

    const auto storeLabels = [this] {
        WriteRunLabels(folder_, {sample_->text().toStdString(), note_->text().toStdString()});
    };
    connect(sample_, &QLineEdit::textEdited, this, storeLabels);
    connect(note_, &QLineEdit::textEdited, this, storeLabels);
    connect(filter_, &QLineEdit::textChanged, this, [this] { FillList(); });
    connect(open_, &QPushButton::clicked, this,
            [this] { OpenFiles(desktop_.AskOpenFileNames(kRunFileFilter)); });
    connect(show_, &QPushButton::clicked, this, [this] { ShowListedRun(list_->currentRow()); });
    connect(list_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { ShowListedRun(row); });
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this, &RunsWindow::SortBy);
    connect(list_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != 0) return;
        const auto row = static_cast<std::size_t>(item->row());
        if (row < listedKeys_.size())
            SetTicked(listedKeys_[row], item->checkState() == Qt::Checked);
    });
    connect(normalise_, &QCheckBox::toggled, charts_, &RunComparisonCharts::SetNormalised);
    connect(logConductance_, &QCheckBox::toggled, charts_, &RunComparisonCharts::SetLogConductance);
    connect(copyPicture_, &QPushButton::clicked, charts_, &RunComparisonCharts::CopyPicture);
    connect(savePicture_, &QPushButton::clicked, charts_, &RunComparisonCharts::SavePicture);
    connect(copyTable_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(Text(TableText('\t'))); });
    connect(saveTable_, &QPushButton::clicked, this, [this] {
        AskAndSaveTextFile(
            desktop_, kRunTableFilter, "runs-table", "Save table", "table",
            [this] { return TableText(','); }, kCsvExtension);
    });
    connect(frequencies_, &QPushButton::clicked, this, [this] {
        if (actions_.showFrequencies) actions_.showFrequencies();
    });
    connect(acrossFrequencies_, &QPushButton::clicked, this, [this] {
        if (actions_.analyseFrequencies) actions_.analyseFrequencies(TickedRuns());
    });
    ReadRunsFolder();
}

void RunsWindow::ReadRunsFolder()
{
    const std::vector<RunFileProblem> problems = catalogue_.ReadFolder(RunsFolderPath(folder_));
    std::string text;
    if (!problems.empty())
        text = std::to_string(problems.size()) + (problems.size() == 1 ? " file" : " files") +
               " of the runs folder could not be read:";
    for (const RunFileProblem& problem : problems) text += "\n" + RunFileProblemText(problem);
    problems_->setText(Text(text));
    problems_->setVisible(!text.empty());
    FillList();
}

void RunsWindow::OpenFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        RunFileReading reading = ReadRunFile(path);
        if (reading.problem) {
            desktop_.ShowMessage(
                "The file could not be opened: " + RunFileProblemText(*reading.problem) + ".");
            continue;
        }
        AskWhatTheFileDoesNotSay(path, reading.runs);
        for (const StoredRun& run : reading.runs) ticked_.insert(RunKey(run));
        catalogue_.Add(path, std::move(reading.runs));
    }
    FillList();
    ShowTicked();
}

void RunsWindow::AskWhatTheFileDoesNotSay(const std::string& path, std::vector<StoredRun>& runs)
{
    bool frequencyMissing = false;
    bool areaMissing = false;
    for (const StoredRun& run : runs) {
        frequencyMissing |= !run.frequencyHertz;
        areaMissing |= !run.padAreaSquareMicrons;
    }
    const std::string name =
        SourceText(StoredRun{RunSource::TableFile, path, {}, {}, {}, {}, {}, {}, {}, {}, {}});
    const std::optional<double> frequency =
        frequencyMissing
            ? AskedNumber(desktop_, "Frequency [Hz] of " + name + " (empty: not known)")
            : std::nullopt;
    const std::optional<double> area =
        areaMissing ? AskedNumber(desktop_, "Pad area [um2] of " + name + " (empty: not known)")
                    : std::nullopt;
    for (StoredRun& run : runs) {
        if (!run.frequencyHertz) run.frequencyHertz = frequency;
        if (!run.padAreaSquareMicrons) run.padAreaSquareMicrons = area;
    }
}

void RunsWindow::RunKept(const std::string& path)
{
    if (std::optional<RunFileProblem> problem = catalogue_.ReadFile(path)) {
        problems_->setText(
            Text("The run just kept could not be read back: " + RunFileProblemText(*problem)));
        problems_->setVisible(true);
    }
    FillList();
}

void RunsWindow::ShowLiveRun(const StoredRun& run)
{
    charts_->ShowLiveRun(run);
}

void RunsWindow::EndLiveRun()
{
    charts_->EndLiveRun();
}

void RunsWindow::SetTicked(const std::string& key, bool ticked)
{
    const bool changed = ticked ? ticked_.insert(key).second : ticked_.erase(key) > 0;
    if (!changed) return;
    // Only the box of that run changes: a long list is not built again.
    const auto listed = std::find(listedKeys_.begin(), listedKeys_.end(), key);
    if (listed != listedKeys_.end()) {
        filling_ = true;
        list_->item(static_cast<int>(listed - listedKeys_.begin()), 0)
            ->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        filling_ = false;
    }
    ShowTicked();
}

void RunsWindow::ShowListedRun(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= listedKeys_.size()) return;
    if (const CataloguedRun* entry = catalogue_.Find(listedKeys_[static_cast<std::size_t>(row)]))
        if (actions_.showRun) actions_.showRun(entry->run);
}

std::string RunsWindow::TableText(char separator) const
{
    std::vector<TabulatedRun> runs;
    for (const std::string& key : listedKeys_)
        if (ticked_.count(key) > 0)
            if (const CataloguedRun* entry = catalogue_.Find(key))
                runs.push_back({&entry->run, &entry->overview});
    return RunTableText(runs, separator);
}

void RunsWindow::SortBy(int column)
{
    if (column == sortColumn_)
        ascending_ = !ascending_;
    else
        sortColumn_ = column, ascending_ = column != kStartedColumn;
    FillList();
}

void RunsWindow::FillList()
{
    const std::vector<RunListRow> rows = catalogue_.Rows();
    const std::vector<std::size_t> order =
        ListedRows(rows, sortColumn_, ascending_, filter_->text().toStdString());
    const std::string current =
        list_->currentRow() >= 0 &&
                static_cast<std::size_t>(list_->currentRow()) < listedKeys_.size()
            ? listedKeys_[static_cast<std::size_t>(list_->currentRow())]
            : std::string();
    filling_ = true;
    list_->setUpdatesEnabled(false);
    list_->clearContents();
    list_->setRowCount(static_cast<int>(order.size()));
    listedKeys_.clear();
    int currentRow = -1;
    for (std::size_t r = 0; r < order.size(); ++r) {
        const CataloguedRun& entry = catalogue_.Runs()[order[r]];
        const int row = static_cast<int>(r);
        listedKeys_.push_back(entry.key);
        if (entry.key == current) currentRow = row;
        for (int column = 0; column < kRunListColumnCount; ++column) {
            const RunListCell& cell = rows[order[r]][static_cast<std::size_t>(column)];
            auto* item = new QTableWidgetItem(Text(cell.text));
            if (!cell.note.empty()) item->setToolTip(Text(cell.note));
            if (cell.number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (column == 0) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(ticked_.count(entry.key) > 0 ? Qt::Checked : Qt::Unchecked);
            }
            list_->setItem(row, column, item);
        }
    }
    if (currentRow >= 0) list_->setCurrentCell(currentRow, 0);
    list_->horizontalHeader()->setSortIndicator(
        sortColumn_, ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    list_->resizeColumnsToContents();
    list_->setUpdatesEnabled(true);
    filling_ = false;
}

std::vector<StoredRun> RunsWindow::TickedRuns() const
{
    std::vector<StoredRun> runs;
    for (const CataloguedRun& entry : catalogue_.Runs())
        if (ticked_.count(entry.key) > 0) runs.push_back(entry.run);
    return runs;
}

void RunsWindow::ShowTicked()
{
    charts_->ShowRuns(TickedRuns());
}

void RunsWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void RunsWindow::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    OpenFiles(paths);
}

RunsWindowKeeper::~RunsWindowKeeper()
{
    delete window_;
}

void RunsWindowKeeper::Show()
{
    if (!window_)
        window_ = new RunsWindow(folder_, desktop_, catalogue_, actions_);
    else if (!window_->isVisible())
        window_->ReadRunsFolder();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

RunsWindow* RunsWindowKeeper::Window() const
{
    if (window_ && window_->isVisible()) return window_;
    return nullptr;
}

}  // namespace quillon
