#pragma once

#include "app/PrintCommand.h"
#include "counting/VersionDiff.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>

class QTableView;

namespace tarvik {

class DiffGridModel;
class UserPrompter;

// Compares two versions on worker threads while this thread keeps the windows painted, and
// returns the summary; the changes arrive in `changes`, and `progress` sees each batch as it
// comes (changes so far, the number of files to compare). User input events wait.
DiffSummary compareInBackground(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress);
// The same for a comparison of pairs matched beforehand (two revisions of a repository).
DiffSummary compareInBackground(const std::vector<FilePair>& pairs, EngineTable& engines, const AnalysisOptions& options,
                                QList<FileChange>& changes,
                                const std::function<void(qsizetype done, qsizetype total)>& progress);

// The result of one comparison in a window of its own: the grid and the commands to save it as
// CSV or as a workbook and to print it. Deletes itself when closed.
class DiffResultWindow : public QMainWindow {
    Q_OBJECT
public:
    DiffResultWindow(const DiffRequest& request, QList<FileChange> changes, const DiffTotals& totals,
                     UserPrompter& prompter, PrinterSource printers, QString fileDialogDirectory,
                     QWidget* parent = nullptr);

    DiffGridModel* grid() const { return m_model; }

    void SaveCsv();
    void SaveExcel();
    void PrintResults();

private:
    UserPrompter& m_prompter;
    PrinterSource m_printers;
    QString m_fileDialogDir;
    DiffGridModel* m_model = nullptr;
    QTableView* m_view = nullptr;
};

} // namespace tarvik
