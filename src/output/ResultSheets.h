#pragma once

#include "counting/AnalysisRun.h"
#include "counting/VersionDiff.h"
#include "output/Workbook.h"

#include <QList>

#include <vector>

namespace tarvik {

// The results as workbook sheets: "明細" holds a run's rows and "差分" a comparison's, each
// with the columns and cells of the CSV of the same results (the keys are its column names),
// so a sheet and the CSV agree cell for cell.
namespace ResultSheets {

// Without rows; `generatedColumn` adds the column the CSV gains when asked about generated files.
FigureTable detailTable(bool generatedColumn = false);
std::vector<FigureTable::Cell> detailRow(const FileResult& result, bool generatedColumn = false);
// As the grid's totals row: "解析結果", "総実行行数は", the KStep figure, "KStep です".
SheetTotal detailTotal(int64_t totalSteps);
// `totalSteps` is empty when the run ended early: such a sheet has no total.
WorkbookSheet detailSheet(const QList<FileResult>& results, std::optional<int64_t> totalSteps);

FigureTable diffTable();
std::vector<FigureTable::Cell> diffRow(const FileChange& change);
// As the comparison report closes: the modification size ("改造規模") in KStep.
SheetTotal diffTotal(const DiffTotals& totals);
WorkbookSheet diffSheet(const QList<FileChange>& changes, const DiffTotals& totals);

// The window's workbooks speak the window's words: the outcome ("Counted" → "解析済") and the
// kind of row ("kind", "total" → "種類", "合計") in Japanese. The command line's workbook keeps
// the CSV's names, which scripts read.
void useWindowWords(std::vector<WorkbookSheet>& sheets);

} // namespace ResultSheets

} // namespace tarvik
