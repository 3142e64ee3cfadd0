#pragma once

#include "app/PrintCommand.h"
#include "counting/VersionDiff.h"
#include "output/FigureTable.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <vector>

class QTableView;

namespace tarvik {

class DiffGridModel;
class UserPrompter;

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
// CSV or as a workbook and to print it. Deletes itself when closed.
class DiffResultWindow : public QMainWindow {
    Q_OBJECT
public:
    DiffResultWindow(const DiffRequest& request, QList<FileChange> changes, const DiffTotals& totals,
                     UserPrompter& prompter, PrinterSource printers, QString fileDialogDirectory,
                     QWidget* parent = nullptr);
    // The comparison's subtotals (by file type, by folder): sheets of the saved workbook.
    void setSubtotals(std::vector<FigureTable> tables) { m_subtotals = std::move(tables); }

    DiffGridModel* grid() const { return m_model; }

    void SaveCsv();
    void SaveExcel();
    void PrintResults();

private:
    UserPrompter& m_prompter;
    PrinterSource m_printers;
    QString m_fileDialogDir;
    DiffGridModel* m_model = nullptr;
    std::vector<FigureTable> m_subtotals;
    QTableView* m_view = nullptr;
};

} // namespace tarvik
