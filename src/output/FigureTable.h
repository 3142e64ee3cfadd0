#pragma once

#include <QString>

#include <cstdint>
#include <variant>
#include <vector>

namespace tarvik {

// A table of figures as it is handed on: one shape for every place it goes (the report, CSV,
// JSON, a workbook sheet, the window), so each shows the same rows.
struct FigureTable {
    enum class Kind {
        Text,  // a name or an outcome text
        Count, // a whole number: files, lines, steps
        KStep, // steps, shown in thousands with three decimals; the cell holds the steps
    };
    struct Column {
        QString header; // what a reader sees: "実行行", "KStep", …
        QString key;    // the machine name in CSV headers and JSON: "executable", "kstep", …
        Kind kind = Kind::Text;
    };
    using Cell = std::variant<QString, int64_t>; // QString for Text, int64_t otherwise

    QString title; // the sheet's or block's name: "種類別", "フォルダ別", …
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
};

} // namespace tarvik
