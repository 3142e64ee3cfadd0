#pragma once

#include "app/PrintCommand.h"
#include "config/IniDocument.h"
#include "counting/VersionDiff.h"
#include "git/GitRevision.h"
#include "output/FigureTable.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tarvik {

class DiffGridModel;
class FigurePage;
class UserPrompter;

// What a comparison of two revisions needs to tell its steps by author: the repository its files
// were read from, and the settings and options it was compared with.
struct AuthorSource {
    std::unique_ptr<GitRepository> repository;
    QString folder, oldRevision, newRevision;
    IniDocument settings;
    AnalysisOptions options;
};

// Compares two versions on worker threads while this thread keeps the windows painted, and
// returns the summary; the changes arrive in `changes`, and `progress` sees each batch as it
// comes (changes so far, the number of files to compare). The caller holds back user input
// meanwhile. `handedOver`, when set, is called on the worker with the number of changes handed
// over so far.
DiffSummary compareInBackground(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress,
                                const std::function<void(qsizetype)>& handedOver = {});
// The same for a comparison of pairs matched beforehand (two revisions of a repository).
DiffSummary compareInBackground(const std::vector<FilePair>& pairs, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress,
                                const std::function<void(qsizetype)>& handedOver = {});

// The result of one comparison in a window of its own: the grid and the commands to save it as
// CSV or as a workbook and to print it; for two revisions of a repository, a 作者別 tab that
// tells the added and changed steps by the author who last changed their lines. Deletes itself
// when closed.
class DiffResultWindow : public QMainWindow {
    Q_OBJECT
public:
    DiffResultWindow(const DiffRequest& request, QList<FileChange> changes, const DiffTotals& totals,
                     UserPrompter& prompter, PrinterSource printers, QString fileDialogDirectory,
                     QWidget* parent = nullptr);
    // The comparison's subtotals (by file type, by folder): sheets of the saved workbook.
    void setSubtotals(std::vector<FigureTable> tables) { m_subtotals = std::move(tables); }

    // Offers the 作者別 tab; its table is read from the history when asked for (the button, or a
    // workbook saved), as the blame takes longer than the comparison.
    void offerAuthors(AuthorSource source);

    DiffGridModel* grid() const { return m_model; }
    // The 作者別 table, once read.
    const std::optional<FigureTable>& authorTable() const { return m_authorTable; }

    void SaveCsv();
    void SaveExcel();
    void PrintResults();
    // Reads the steps by author from the history, the window painted meanwhile; 中止 stops it.
    void ShowAuthors();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    UserPrompter& m_prompter;
    PrinterSource m_printers;
    QString m_fileDialogDir;
    DiffGridModel* m_model = nullptr;
    std::vector<FigureTable> m_subtotals;
    QTableView* m_view = nullptr;
    QTabWidget* m_tabs = nullptr;

    std::unique_ptr<AuthorSource> m_authorSource;
    std::optional<FigureTable> m_authorTable;
    QWidget* m_authorTab = nullptr;
    QLabel* m_authorHint = nullptr;
    QPushButton* m_authorStart = nullptr;
    QPushButton* m_authorStop = nullptr;
    QProgressBar* m_authorProgress = nullptr;
    FigurePage* m_authorPage = nullptr;
    std::atomic<bool> m_authorCancel{false};
    bool m_readingAuthors = false;
    bool m_closeWhenRead = false;
};

} // namespace tarvik
