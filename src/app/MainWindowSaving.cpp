// Saving the results: the log file, the CSV file, the workbook and the grid's rows on the clipboard.
#include "app/MainWindow.h"

#include "app/SummaryPane.h"
#include "app/UserPrompter.h"
#include "output/CsvFormat.h"
#include "output/LogFile.h"
#include "output/ResultGridModel.h"
#include "output/ResultSheets.h"
#include "output/Workbook.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>

namespace tarvik {

// The saves are offered whenever there is a report: all of them hold the results of the last run.
bool MainWindow::hasResultsToSave()
{
    if (m_report.isEmpty())
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
    else if (m_runFailed)
        m_prompter.message(this, QStringLiteral("解析が途中で終了したため、結果を保存できません。"),
                           UserPrompter::Icon::Warning);
    return !m_report.isEmpty() && !m_runFailed;
}

void MainWindow::SaveLog()
{
    if (!hasResultsToSave())
        return;
    // The dialog starts with no name.
    saveThroughDialog(m_prompter, this, QStringLiteral("名前を付けて保存"), m_fileDialogDir,
                      QStringLiteral("ログファイル (*.tvk)"), QStringLiteral("ログファイルを保存できませんでした。"),
                      [this](const QString& path, QString* reason) { return SaveLogFile(path, m_report, reason); });
}

void MainWindow::SaveCsv()
{
    if (!hasResultsToSave())
        return;
    saveThroughDialog(m_prompter, this, QStringLiteral("CSV形式で保存"), m_fileDialogDir,
                      QStringLiteral("CSVファイル (*.csv)"), QStringLiteral("CSVファイルを保存できませんでした。"),
                      [this](const QString& path, QString* reason) {
                          return CsvFormat::SaveCsvFile(path, m_grid->runResults(), reason);
                      });
}

void MainWindow::SaveExcel()
{
    if (!hasResultsToSave())
        return;
    saveThroughDialog(m_prompter, this, QStringLiteral("Excel形式で保存"), m_fileDialogDir,
                      QStringLiteral("Excel ファイル (*.xlsx)"), QStringLiteral("Excelファイルを保存できませんでした。"),
                      [this](const QString& path, QString* reason) {
                          std::vector<WorkbookSheet> sheets{
                              ResultSheets::detailSheet(m_grid->runResults(), m_grid->runTotalSteps())};
                          // The subtotals of a completed run, grouped as the 集計 pane groups them.
                          if (!m_lastResults.empty()) {
                              auto [byType, byFolder] = subtotalTables(m_summary->folderDepth());
                              sheets.push_back({std::move(byType), std::nullopt});
                              sheets.push_back({std::move(byFolder), std::nullopt});
                              if (std::optional<FigureTable> byCategory = categoryTable())
                                  sheets.push_back({std::move(*byCategory), std::nullopt});
                          }
                          ResultSheets::useWindowWords(sheets);
                          return SaveWorkbook(path, sheets, reason);
                      });
}

void MainWindow::CopyGridRows()
{
    QList<qsizetype> rows;
    if (m_gridView->selectionModel()->hasSelection()) {
        // The selected rows as the view shows them, sorted or not.
        QList<int> viewRows;
        for (const QModelIndex& index : m_gridView->selectionModel()->selectedIndexes())
            viewRows.append(index.row());
        std::sort(viewRows.begin(), viewRows.end());
        viewRows.erase(std::unique(viewRows.begin(), viewRows.end()), viewRows.end());
        rows = gridRows(viewRows);
    } else {
        // Every result, but not the totals row: its texts would break the columns' sums.
        for (qsizetype row = 0; row < m_grid->runRowCount(); ++row)
            rows.append(row);
    }
    if (rows.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(m_grid->tabSeparatedText(rows));
}

} // namespace tarvik
