// Saving the results: the log file, the CSV file, the workbook and the grid's rows on the clipboard.
#include "app/MainWindow.h"

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

void MainWindow::SaveLog()
{
    if (m_report.isEmpty()) {
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
        return;
    }
    // The dialog itself asks before replacing an existing file, and starts with no name.
    const QString path = m_prompter.saveFile(this, QStringLiteral("名前を付けて保存"), m_fileDialogDir,
                                             QStringLiteral("ログファイル (*.tvk)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!SaveLogFile(path, m_report, &reason))
        m_prompter.message(this, QStringLiteral("ログファイルを保存できませんでした。\n%1\n%2").arg(path, reason),
                           UserPrompter::Icon::Warning);
}

void MainWindow::SaveCsv()
{
    // Offered whenever the log is: both hold the results of the last run.
    if (m_report.isEmpty()) {
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
        return;
    }
    const QString path = m_prompter.saveFile(this, QStringLiteral("CSV形式で保存"), m_fileDialogDir,
                                             QStringLiteral("CSVファイル (*.csv)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!CsvFormat::SaveCsvFile(path, m_grid->runResults(), &reason))
        m_prompter.message(this, QStringLiteral("CSVファイルを保存できませんでした。\n%1\n%2").arg(path, reason),
                           UserPrompter::Icon::Warning);
}

void MainWindow::SaveExcel()
{
    if (m_report.isEmpty()) {
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
        return;
    }
    const QString path = m_prompter.saveFile(this, QStringLiteral("Excel形式で保存"), m_fileDialogDir,
                                             QStringLiteral("Excel ファイル (*.xlsx)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!SaveWorkbook(path, {ResultSheets::detailSheet(m_grid->runResults(), m_grid->runTotalSteps())}, &reason))
        m_prompter.message(this, QStringLiteral("Excelファイルを保存できませんでした。\n%1\n%2").arg(path, reason),
                           UserPrompter::Icon::Warning);
}

void MainWindow::CopyGridRows()
{
    QList<qsizetype> rows;
    if (m_gridView->selectionModel()->hasSelection()) {
        for (const QModelIndex& index : m_gridView->selectionModel()->selectedIndexes())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
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
