#pragma once

#include "output/FigureTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace tarvik {

class OutputFile;

// The line under a sheet's rows that sums them up, as the grid's totals row does: its texts from
// the first column on, then the steps as a KStep figure, then the unit.
struct SheetTotal {
    QStringList texts;
    int64_t steps = 0;
    QString unit;
};

// One sheet of a workbook, named by its table's title. The total stays outside the filter, so
// sorting the rows never moves it.
struct WorkbookSheet {
    FigureTable table;
    std::optional<SheetTotal> total;
};

// The columns a text takes in a spreadsheet's default font: East Asian wide and full-width
// characters take two.
int displayWidth(const QString& text);

// Writes the sheets as a spreadsheet workbook into `file`, opened beforehand, and commits it:
// the workbook is built in the temporary file beside the target and renamed over it, so a
// failure leaves an older file whole. Returns false with the reason in `error`; the file is
// then cancelled.
bool SaveWorkbook(OutputFile& file, const std::vector<WorkbookSheet>& sheets, QString* error);
bool SaveWorkbook(const QString& path, const std::vector<WorkbookSheet>& sheets, QString* error);

} // namespace tarvik
