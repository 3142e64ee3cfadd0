// The analysis run and the version comparison: counted on other threads while the window
// shows the results as they come.
#include "app/MainWindow.h"

#include "app/AnalysisListModel.h"
#include "app/BackgroundWork.h"
#include "app/DialogRunner.h"
#include "config/Categories.h"
#include "app/DiffDialog.h"
#include "app/DiffResultWindow.h"
#include "app/StatusMessage.h"
#include "app/UserPrompter.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "config/SettingsStore.h"
#include "counting/AnalysisRun.h"
#include "counting/TextReport.h"
#include "counting/VersionDiff.h"
#include "git/GitRevision.h"
#include "output/ResultGridModel.h"
#include "output/Subtotals.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <vector>

namespace tarvik {

namespace {

// The analysis run's results, handed to the window in batches as they come.
class RunBridge : public ResultSink, public HandOver<std::pair<qsizetype, FileResult>, RunSummary> {
public:
    RunBridge(QObject* receiver, std::function<void()> drain, const MainWindow::WorkObserver& observer)
        : HandOver(receiver, std::move(drain)), m_observer(observer)
    {
    }
    void fileAnalysed(qsizetype index, const FileResult& result) override
    {
        add({index, result});
        if (m_observer)
            m_observer(index + 1);
    }

private:
    const MainWindow::WorkObserver& m_observer;
};

} // namespace

void MainWindow::RunAnalysis()
{
    if (m_running)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();

    clearReport();
    m_lastResults.clear();
    const QStringList paths = m_listModel->entries();
    const qsizetype n = paths.size();
    m_grid->beginRun(n);

    IniDocument settings;
    SettingsStore::loadDocument(m_settings.path(), settings, nullptr);
    EngineTable engines(settings);
    TextReport report([this](const QString& text) { m_report += text; });
    report.runStarted(n);
    m_progress->setRange(0, static_cast<int>(std::max<qsizetype>(n, 1)));

    // The counting runs on other threads; this thread keeps the window painted and shows the
    // results as they come, while user input is held back but for Esc and 中止.
    setRunning(true);
    QApplication::changeOverrideCursor(Qt::BusyCursor); // the 中止 button takes clicks
    QEventLoop loop;
    RunSummary summary;
    bool finished = false;
    RunBridge* bridgePtr = nullptr;
    auto drain = [&] {
        std::vector<std::pair<qsizetype, FileResult>> batch;
        finished = bridgePtr->take(batch, summary);
        for (const auto& [index, result] : batch) {
            m_grid->WriteResultRow(index, result);
            report.WriteReportLine(result);
            m_lastResults.push_back(result);
        }
        if (!batch.empty()) {
            m_status->show(displayPath(batch.back().second.path) + QStringLiteral("を解析中"));
            m_progress->setValue(static_cast<int>(batch.back().first + 1));
        }
        if (finished)
            loop.quit();
    };
    // Hand-overs are queued to an object of this run, so none can outlive it.
    QObject runContext;
    RunBridge bridge(&runContext, drain, m_workObserver);
    bridgePtr = &bridge;
    const AnalysisOptions options{m_kigou->isChecked(), std::max(1, QThread::idealThreadCount()), nullptr,
                                  generatedFiles(), &m_cancelRequested};
    std::thread worker([&] { bridge.finish(tarvik::RunAnalysis(paths, engines, options, bridge)); });
    // The loop takes input events too (ExcludeUserInputEvents would keep Esc and 中止 waiting
    // until the end): the event filter holds back the rest.
    if (!finished)
        loop.exec();
    worker.join();
    drain(); // anything that arrived with the end
    setRunning(false);

    if (summary.error) {
        m_lastResults.clear(); // no subtotals of a run without totals
        m_runFailed = true;
        refreshSummary();
        // The last result shown is of the file before the one that failed: name the failed one.
        m_status->show(displayPath(summary.error->path) + QStringLiteral("を解析中"));
        m_reportBox->setPlainText(m_report);
        QApplication::restoreOverrideCursor();
        m_prompter.message(this, unexpectedErrorMessage(), UserPrompter::Icon::Warning);
        return;
    }
    if (summary.cancelled) {
        // The files done stand as results, the rest are told as not counted, and the totals are
        // of the counted ones; half a result is not saved (m_runFailed), as after an error.
        const qsizetype rows = summary.handledFiles + summary.notCounted;
        m_grid->keepRows(rows);
        m_grid->markNotCounted(summary.handledFiles, paths.mid(n - summary.notCounted));
        m_grid->WriteTotalsRow(rows, summary.totalSteps, StatusMessage::todayText(), QLocale::system().decimalPoint());
        m_runFailed = true;
    } else if (n > 0) {
        report.runFinished(summary);
        if (options.generated == GeneratedFiles::Separate)
            report.WriteGeneratedTotals(summary);
        // Generated files left out of the results leave no rows behind.
        m_grid->keepRows(summary.handledFiles);
        m_grid->WriteTotalsRow(summary.handledFiles, summary.totalSteps, StatusMessage::todayText(),
                               QLocale::system().decimalPoint());
    }
    m_reportBox->setPlainText(m_report);
    m_lastSettings = settings;
    m_lastGenerated = options.generated;
    refreshSummary();
    showRunEndInGrid(summary, options.generated);
    if (summary.cancelled) {
        m_status->timer()->stop(); // the message stays while the grid shows half a run
        m_status->show(QStringLiteral("解析を中止しました（%1 / %2 ファイルを解析）").arg(n - summary.notCounted).arg(n));
    } else {
        m_status->showTimed(QStringLiteral("%1個のファイルを解析しました").arg(summary.handledFiles));
    }
    m_progress->setValue(0);
    QApplication::restoreOverrideCursor();
}

void MainWindow::CompareVersions()
{
    if (m_running)
        return;
    DiffDialog dialog(m_prompter, m_fileDialogDir, this);
    dialog.restore(DiffChoice::read(m_settings));
    m_dialogs->run(dialog);
    if (dialog.result() != QDialog::Accepted)
        return;
    dialog.choice().write(m_settings);
    const SearchedTypes types = searchedTypes();
    DiffRequest request{dialog.oldFolder(), dialog.newFolder(), types.extensions, m_searchSubdirs->isChecked(),
                        excludeFilter(), types.names, types.interpreters};
    // Two revisions of a repository: their files are matched (moved ones too) before the run.
    std::unique_ptr<GitRepository> repo;
    std::optional<std::vector<FilePair>> revisionPairs;
    UnregisteredFiles revisionsPassedOver;
    if (dialog.comparesRevisions()) {
        QString error;
        repo = GitRepository::open(dialog.repositoryFolder(), &error);
        if (repo) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            RevisionSelection selection{{}, request.includeSubdirectories, {}, Exclusions{excludePatterns(), false}};
            selection.setTypes(types);
            // A repository chosen by one of its subfolders is compared there only.
            if (!repo->startFolder().isEmpty())
                selection.limits << repo->startFolder();
            revisionPairs = repo->pairFiles(dialog.oldRevision(), dialog.newRevision(), selection, &error, &revisionsPassedOver);
            QApplication::restoreOverrideCursor();
        }
        if (!revisionPairs) {
            m_prompter.message(this, error, UserPrompter::Icon::Warning);
            return;
        }
        request.oldRoot = dialog.repositoryFolder() + QStringLiteral("  ") + dialog.oldRevision();
        request.newRoot = dialog.repositoryFolder() + QStringLiteral("  ") + dialog.newRevision();
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_status->show(QStringLiteral("比較中"));
    QCoreApplication::processEvents();
    IniDocument settings;
    SettingsStore::loadDocument(m_settings.path(), settings, nullptr);
    EngineTable engines(settings);
    const AnalysisOptions options{m_kigou->isChecked(), std::max(1, QThread::idealThreadCount()),
                                  repo ? &repo->store() : nullptr, generatedFiles(), &m_cancelRequested};
    // As in the analysis run: the window keeps painting and input waits but for Esc and 中止.
    setRunning(true);
    QApplication::changeOverrideCursor(Qt::BusyCursor);
    QList<FileChange> changes;
    const auto progress = [this, &changes](qsizetype done, qsizetype total) {
        m_progress->setRange(0, static_cast<int>(std::max<qsizetype>(total, 1)));
        m_progress->setValue(static_cast<int>(done));
        m_status->show(changes.back().relativePath + QStringLiteral("を比較中"));
    };
    const DiffSummary summary = revisionPairs
        ? compareInBackground(*revisionPairs, engines, options, changes, progress, m_workObserver)
        : compareInBackground(request, engines, options, changes, progress, m_workObserver);
    setRunning(false);
    m_progress->setValue(0);
    QApplication::restoreOverrideCursor();

    if (summary.cancelled) {
        m_status->timer()->stop();
        m_status->show(QStringLiteral("差分解析を中止しました"));
        return;
    }

    reportSkippedDirectories(summary.skipped);
    if (summary.error) {
        m_status->showDate();
        m_prompter.message(this, unexpectedErrorMessage(), UserPrompter::Icon::Warning);
        return;
    }
    showUnregistered(revisionPairs ? revisionsPassedOver : summary.unregistered,
                     QStringLiteral("%1個のファイルを比較しました").arg(summary.handledFiles));
    DiffSubtotals byType(SubtotalGrouping{SubtotalGrouping::By::Type, 1}, settings, options.generated);
    DiffSubtotals byFolder(SubtotalGrouping{SubtotalGrouping::By::Folder, 1}, settings, options.generated);
    std::optional<DiffSubtotals> byCategory;
    if (!Categories::fromDocument(settings).empty())
        byCategory.emplace(SubtotalGrouping{SubtotalGrouping::By::Category, 1}, settings, options.generated);
    for (const FileChange& change : std::as_const(changes)) {
        byType.add(change);
        byFolder.add(change);
        if (byCategory)
            byCategory->add(change);
    }
    auto* result = new DiffResultWindow(request, std::move(changes), summary.totals, m_prompter, m_printerSource,
                                        m_fileDialogDir, this);
    std::vector<FigureTable> subtotals{byType.table(), byFolder.table()};
    if (byCategory)
        subtotals.push_back(byCategory->table());
    result->setSubtotals(std::move(subtotals));
    if (repo)
        result->offerAuthors(AuthorSource{std::move(repo), dialog.repositoryFolder(), dialog.oldRevision(),
                                          dialog.newRevision(), settings, options});
    result->show();
}

} // namespace tarvik
