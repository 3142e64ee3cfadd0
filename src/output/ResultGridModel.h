#pragma once

#include "config/IniDocument.h"
#include "counting/AnalysisRun.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace tarvik {

// The rows of the result grid below its header: one per listed file, then the totals row.
// Each row keeps only what it was written from; the cell texts are made when asked for, so a
// run over a very long list stays cheap.
class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 6;

    explicit ResultGridModel(QObject* parent = nullptr);

    // Sizes the grid for a run (runBegun is emitted first): fileCount + 1 rows. Rows beyond the new count are dropped, rows
    // the run will not reach (it may end early) keep what they held, and row 0 becomes empty.
    void beginRun(qsizetype fileCount);
    void WriteResultRow(qsizetype row, const FileResult& result);
    // After a run that left files out of its results: fileCount + 1 rows at most.
    void keepRows(qsizetype fileCount);
    void WriteTotalsRow(qsizetype row, int64_t totalSteps, const QString& date, const QString& decimalPoint);
    // After a cancelled run: the files it did not count, from firstRow on. They are not results.
    void markNotCounted(qsizetype firstRow, const QStringList& paths);
    void clear();

    // The text a cell shows; empty outside the grid.
    QString cellText(qsizetype row, int column) const;

    // The results the current run wrote, in list order. Rows it did not reach (it ended early)
    // and the totals row are not results of it.
    QList<FileResult> runResults() const;
    qsizetype runRowCount() const { return m_runRows; }
    // The steps of the current run's totals row; none when the run wrote none (it ended early,
    // or the list was empty).
    std::optional<int64_t> runTotalSteps() const;

    // Tab-separated text of the given rows for a spreadsheet: the column titles, then each row
    // as it shows, without the padding of the figures' column; rows that are empty are skipped.
    QString tabSeparatedText(const QList<qsizetype>& rows) const;

    // Paths a double click opens over the selection from currentRow to otherEndRow, bottom row
    // first. The first row is tested in the clicked column; once a row was opened the test moves
    // to the directory column, so later rows need a directory.
    QStringList pathsToOpen(qsizetype currentRow, qsizetype otherEndRow, int clickedColumn) const;

    // Paths a double click opens over `rows`, in that order (the view's rows, bottom row first,
    // as rows of this model), tested as above.
    QStringList pathsToOpen(const QList<qsizetype>& rows, int clickedColumn) const;

    // With generated files kept out of the totals (GeneratedFiles::Separate) their rows are
    // marked with generatedBackground().
    void setGeneratedSetAside(bool setAside);
    static QColor generatedBackground();
    static QString generatedLegend() { return QStringLiteral("生成ファイル（総実行数に含めず）"); }
    // The figures a run kept apart: "生成ファイル 2 件  実行行 120（0.120 KStep、総実行数に含めず）".
    static QString generatedTotalText(const RunSummary& summary, const QString& decimalPoint);

    // The file-type table the rows' types are named from ("Lang_c=C_STYLE,C言語ソース,1").
    void setFileTypes(const IniDocument& settings);
    // The type of a file row as the file-type table names it; empty for other rows.
    QString typeName(qsizetype row) const;

    // A listed file's row, not the totals row nor an empty one.
    bool isFileRow(qsizetype row) const;
    // Two file rows by a column: the figures as numbers (a file without figures below any),
    // names and folders as text regardless of case. Negative, zero or positive.
    int compareRows(qsizetype a, qsizetype b, int column) const;
    // Whether a row stays under a filter: a file row whose path or type holds `text` (case
    // ignored), always the totals row, any row under no filter.
    bool rowMatches(qsizetype row, const QString& text) const;

    static int columnWidthTwips(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A run is about to fill the grid.
    void runBegun();

private:
    struct FileRow {
        FileOutcome outcome;
        FileCounts counts;
        QString programId;
        QString directory;
        bool generated = false;
        QString typeKey;
        bool notCounted = false; // its run was cancelled before it: no outcome, no figures
    };
    struct TotalsRow {
        int64_t steps;
        QString kstepText;
        QString date;
    };
    using Row = std::variant<std::monostate, FileRow, TotalsRow>;

    void rowChanged(qsizetype row);

    std::vector<Row> m_rows;
    qsizetype m_runRows = 0; // leading rows written since beginRun: results arrive in list order
    bool m_generatedSetAside = false;
    IniDocument m_fileTypes;
    mutable QHash<QString, QString> m_typeNames; // settings key -> type name, as asked for
};

} // namespace tarvik
