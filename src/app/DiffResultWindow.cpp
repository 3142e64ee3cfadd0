#include "app/DiffResultWindow.h"

#include "app/BackgroundWork.h"
#include "app/FigurePage.h"
#include "app/StatusMessage.h"
#include "app/UserPrompter.h"
#include "config/NativePath.h"
#include "counting/TextReport.h"
#include "git/AuthorSteps.h"
#include "git/GitRevision.h"
#include "output/DiffCsvFile.h"
#include "output/ResultSheets.h"
#include "output/Workbook.h"
#include "output/DiffGridModel.h"
#include "output/DiffPrintLayout.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <thread>

namespace tarvik {

namespace {

using ChangeHandOver = HandOver<FileChange, DiffSummary>;

// Passes the comparison's pairs from the worker to the window.
class DiffBridge : public DiffSink {
public:
    DiffBridge(ChangeHandOver& handOver, std::atomic<qsizetype>& total, const std::function<void(qsizetype)>& handedOver)
        : m_handOver(handOver), m_total(total), m_handedOver(handedOver)
    {
    }
    void diffStarted(qsizetype fileCount) override { m_total = fileCount; }
    void fileCompared(qsizetype index, const FileChange& change) override
    {
        m_handOver.add(change);
        if (m_handedOver)
            m_handedOver(index + 1);
    }

private:
    ChangeHandOver& m_handOver;
    std::atomic<qsizetype>& m_total;
    const std::function<void(qsizetype)>& m_handedOver;
};

DiffSummary compareHandingOver(const std::function<DiffSummary(DiffSink&)>& compare, QList<FileChange>& changes,
                               const std::function<void(qsizetype done, qsizetype total)>& progress,
                               const std::function<void(qsizetype)>& handedOver)
{
    std::atomic<qsizetype> total{0};
    return runHandingOver<FileChange, DiffSummary>(
        [&](ChangeHandOver& handOver) {
            DiffBridge bridge(handOver, total, handedOver);
            return compare(bridge);
        },
        [&](std::vector<FileChange>& batch) {
            for (FileChange& c : batch)
                changes.append(std::move(c));
            progress(changes.size(), total);
        });
}

} // namespace

DiffSummary compareInBackground(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress,
                                const std::function<void(qsizetype)>& handedOver)
{
    return compareHandingOver([&](DiffSink& sink) { return RunDiff(request, engines, options, sink); }, changes,
                              progress, handedOver);
}

DiffSummary compareInBackground(const std::vector<FilePair>& pairs, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress,
                                const std::function<void(qsizetype)>& handedOver)
{
    return compareHandingOver([&](DiffSink& sink) { return RunPairedDiff(pairs, engines, options, sink); }, changes,
                              progress, handedOver);
}

DiffResultWindow::DiffResultWindow(const DiffRequest& request, QList<FileChange> changes, const DiffTotals& totals,
                                   UserPrompter& prompter, PrinterSource printers, QString fileDialogDirectory,
                                   QWidget* parent)
    : QMainWindow(parent), m_prompter(prompter), m_printers(std::move(printers)),
      m_fileDialogDir(std::move(fileDialogDirectory))
{
    setObjectName(QStringLiteral("FormDiffResult"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("差分解析 - Tarvik"));

    menuBar()->setObjectName(QStringLiteral("MenuBar"));
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("Mn_File"));
    auto action = [&](const char* name, const QString& caption, const QKeySequence& key) {
        QAction* a = file->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        return a;
    };
    connect(action("Mn_CsvSave", QStringLiteral("CSV形式で保存"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, &DiffResultWindow::SaveCsv);
    connect(action("Mn_excel", QStringLiteral("Excel形式で保存"), QKeySequence()), &QAction::triggered, this,
            &DiffResultWindow::SaveExcel);
    connect(action("Mn_FilePrint", QStringLiteral("印刷"), QKeySequence(Qt::CTRL | Qt::Key_P)), &QAction::triggered,
            this, &DiffResultWindow::PrintResults);
    file->addSeparator()->setObjectName(QStringLiteral("separator1"));
    connect(action("Mn_Close", QStringLiteral("閉じる"), QKeySequence(Qt::CTRL | Qt::Key_W)), &QAction::triggered, this,
            &QWidget::close);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("DiffCentral"));
    auto* layout = new QVBoxLayout(central);
    auto label = [&](const char* name, const QString& text) {
        auto* l = new QLabel(text, central);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(l);
        return l;
    };
    label("LabelOld", QStringLiteral("旧バージョン：") + request.oldRoot);
    label("LabelNew", QStringLiteral("新バージョン：") + request.newRoot);

    m_model = new DiffGridModel(std::move(changes), totals, QLocale::system().decimalPoint(), this);
    m_model->setObjectName(QStringLiteral("DiffGridModel"));
    m_view = new QTableView(central);
    m_view->setObjectName(QStringLiteral("DiffGrid"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setVisible(false);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    QHeaderView* header = m_view->horizontalHeader();
    header->setSectionResizeMode(DiffGridModel::File, QHeaderView::Stretch);
    header->resizeSection(DiffGridModel::Status, 90);
    for (int column = DiffGridModel::OldSteps; column < DiffGridModel::ColumnCount; ++column)
        header->resizeSection(column, 90);
    // The outcome of a file that was not compared reads across the figure columns.
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->showsOutcome(row))
            m_view->setSpan(row, DiffGridModel::OldSteps, 1, DiffGridModel::ColumnCount - DiffGridModel::OldSteps);
    }
    // The files' grid is the one tab of a comparison of folders: its tab bar is hidden.
    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(QStringLiteral("DiffTabs"));
    m_tabs->setTabBarAutoHide(true);
    m_tabs->addTab(m_view, QStringLiteral("ファイル別"));
    layout->addWidget(m_tabs);
    // The figure a comparison is made for stays in full view, whatever the width of the grid's
    // columns (the totals row's long text is cut at its end).
    auto* size = label("LabelSize", QStringLiteral("改造規模 %1 KStep　流用 %6 ステップ（新規 %2、削除 %3、変更 %4、変更なし %5 ファイル）")
                                        .arg(TextReport::kstepFigure(totals.modifiedSteps(), QLocale::system().decimalPoint()))
                                        .arg(totals.newFiles)
                                        .arg(totals.deletedFiles)
                                        .arg(totals.changedFiles)
                                        .arg(totals.unchangedFiles)
                                        .arg(totals.reusedSteps()));
    QFont bold = size->font();
    bold.setBold(true);
    size->setFont(bold);
    setCentralWidget(central);
    resize(960, 600);
}

void DiffResultWindow::offerAuthors(AuthorSource source)
{
    m_authorSource = std::make_unique<AuthorSource>(std::move(source));
    m_authorSource->options.cancel = &m_authorCancel;
    m_authorTab = new QWidget(m_tabs);
    m_authorTab->setObjectName(QStringLiteral("AuthorTab"));
    auto* column = new QVBoxLayout(m_authorTab);
    m_authorHint = new QLabel(QStringLiteral("追加・変更ステップを、その行を %1 以降に最後に変更したコミットの作者ごとに集計します"
                                             "（git の blame、.mailmap で名寄せ、ファイル内で移動した行は書いた人へ）。%1 にすでにあった行は"
                                             "「（旧版にあった行）」、削除ステップは「（削除）」の行にまとめます。")
                                  .arg(m_authorSource->oldRevision),
                              m_authorTab);
    m_authorHint->setObjectName(QStringLiteral("AuthorHint"));
    m_authorHint->setWordWrap(true);
    column->addWidget(m_authorHint);
    auto* controls = new QHBoxLayout;
    m_authorStart = new QPushButton(QStringLiteral("作者別に集計"), m_authorTab);
    m_authorStart->setObjectName(QStringLiteral("CommandAuthors"));
    controls->addWidget(m_authorStart);
    m_authorProgress = new QProgressBar(m_authorTab);
    m_authorProgress->setObjectName(QStringLiteral("AuthorProgress"));
    m_authorProgress->setVisible(false);
    controls->addWidget(m_authorProgress, 1);
    m_authorStop = new QPushButton(QStringLiteral("中止"), m_authorTab);
    m_authorStop->setObjectName(QStringLiteral("CommandStopAuthors"));
    m_authorStop->setVisible(false);
    controls->addWidget(m_authorStop);
    controls->addStretch(0);
    column->addLayout(controls);
    m_authorPage = new FigurePage(QStringLiteral("作者別"), QStringLiteral("Authors"), m_authorTab);
    m_authorPage->setVisible(false);
    column->addWidget(m_authorPage, 1);
    m_tabs->addTab(m_authorTab, QStringLiteral("作者別"));
    connect(m_authorStart, &QPushButton::clicked, this, &DiffResultWindow::ShowAuthors);
    connect(m_authorStop, &QPushButton::clicked, this, [this] { m_authorCancel = true; });
}

void DiffResultWindow::ShowAuthors()
{
    if (!m_authorSource || m_readingAuthors || m_authorTable)
        return;
    AuthorSource& source = *m_authorSource;
    QString error;
    std::unique_ptr<AuthorSteps> authors = AuthorSteps::open(source.folder, source.oldRevision, source.newRevision,
                                                             source.settings, source.options, &error);
    if (!authors) {
        m_prompter.message(this, QStringLiteral("作者別に集計できません。\n%1").arg(error), UserPrompter::Icon::Warning);
        return;
    }
    m_tabs->setCurrentWidget(m_authorTab);
    m_readingAuthors = true;
    m_authorCancel = false;
    m_authorStart->setEnabled(false);
    m_authorStop->setVisible(true);
    m_authorProgress->setVisible(true);
    m_authorProgress->setRange(0, 0);
    // The blame of each file starts as it is handed over, on as many threads as the comparison
    // used; the rest is waited for on a thread of its own, the window painted and 中止 heard.
    for (const FileChange& change : m_model->changes())
        authors->add(change);
    QEventLoop loop;
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, this, [&] {
        const auto [done, total] = authors->progress();
        m_authorProgress->setRange(0, static_cast<int>(std::max<size_t>(total, 1)));
        m_authorProgress->setValue(static_cast<int>(done));
    });
    ticks.start(100);
    std::thread reader([&] {
        authors->finish();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    reader.join();
    ticks.stop();
    m_readingAuthors = false;
    m_authorStop->setVisible(false);
    m_authorProgress->setVisible(false);
    m_authorStart->setEnabled(true);

    if (m_closeWhenRead) {
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (m_authorCancel) {
        m_authorHint->setText(QStringLiteral("作者別の集計を中止しました。"));
        return;
    }
    if (const std::optional<RunError>& failure = authors->error()) {
        m_prompter.message(this, QStringLiteral("作者別の集計中にエラーが発生しました。\n%1\n%2")
                                     .arg(displayPath(failure->path), failure->reason),
                           UserPrompter::Icon::Warning);
        return;
    }
    m_authorTable = authors->table();
    m_authorStart->setVisible(false);
    m_authorPage->showFigures(*m_authorTable, false);
    m_authorPage->setVisible(true);
}

void DiffResultWindow::closeEvent(QCloseEvent* event)
{
    // The blame's threads read the window's pairs: the window closes once they have stopped.
    if (m_readingAuthors) {
        m_authorCancel = true;
        m_closeWhenRead = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void DiffResultWindow::SaveCsv()
{
    saveThroughDialog(m_prompter, this, QStringLiteral("CSV形式で保存"), m_fileDialogDir, QStringLiteral("CSVファイル (*.csv)"),
                      QStringLiteral("CSVファイルを保存できませんでした。"), [this](const QString& path, QString* reason) {
                          return SaveDiffCsv(path, m_model->changes(), reason);
                      });
}

void DiffResultWindow::SaveExcel()
{
    // A workbook of two revisions holds the steps by author too: read first if not yet.
    if (m_readingAuthors)
        return;
    ShowAuthors();
    if (m_closeWhenRead)
        return;
    saveThroughDialog(m_prompter, this, QStringLiteral("Excel形式で保存"), m_fileDialogDir,
                      QStringLiteral("Excel ファイル (*.xlsx)"), QStringLiteral("Excelファイルを保存できませんでした。"),
                      [this](const QString& path, QString* reason) {
                          std::vector<WorkbookSheet> sheets{ResultSheets::diffSheet(m_model->changes(), m_model->totals())};
                          for (const FigureTable& table : m_subtotals)
                              sheets.push_back({table, std::nullopt});
                          if (m_authorTable)
                              sheets.push_back({*m_authorTable, std::nullopt});
                          ResultSheets::useWindowWords(sheets);
                          return SaveWorkbook(path, sheets, reason);
                      });
}

void DiffResultWindow::PrintResults()
{
    printWithConsent(this, m_prompter, m_printers, m_fileDialogDir,
                     DiffPrintLayout::pages(m_model->changes(), m_model->totals(), StatusMessage::todayText(),
                                            QLocale::system().decimalPoint()));
}

} // namespace tarvik
