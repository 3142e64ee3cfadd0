#pragma once

#include "output/CsvFormat.h"
#include "output/Subtotals.h"
#include "output/Workbook.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace tarvik {

class AuthorSteps;

// The subtotals a run was asked for (--summary), fed on the way to the output writer, which
// asks for their tables when it writes the end of its output.
class SummarySet : public ResultSink, public DiffSink {
public:
    struct Table {
        QString name; // the --summary value it answers: "type", "dir:2"
        FigureTable table;
    };

    // Lines for a run, changes for a comparison.
    explicit SummarySet(Subtotals::Measure measure) : m_measure(measure) {}

    // `roots` may be null (each file comes from its own folder); it must outlive this set.
    void add(const SubtotalGrouping& grouping, const IniDocument& settings, GeneratedFiles generated,
             const FolderRoots* roots);
    // The files the folder search passed over ("unregistered"), as they are when the tables are
    // asked for; `files` must outlive this set.
    void addUnregistered(const UnregisteredFiles* files);
    // The steps by author ("author"), read once the run has ended; `authors` must outlive this set.
    void addAuthors(AuthorSteps* authors);
    bool isEmpty() const { return m_subtotals.empty(); }
    bool byFolder() const;
    std::vector<Table> tables() const;

    // Where each result goes next.
    void setNext(ResultSink* next) { m_next = next; }
    void setNext(DiffSink* next) { m_nextDiff = next; }

    void runStarted(qsizetype n) override { m_next->runStarted(n); }
    void fileAnalysed(qsizetype i, const FileResult& r) override;
    void runFinished(const RunSummary& s) override;
    void diffStarted(qsizetype n) override { m_nextDiff->diffStarted(n); }
    void fileCompared(qsizetype i, const FileChange& c) override;
    void diffFinished(const DiffSummary& s) override;

private:
    struct Entry {
        QString name;
        SubtotalGrouping grouping;
        std::unique_ptr<Subtotals> subtotals; // null for the files passed over
        const UnregisteredFiles* unregistered = nullptr;
        AuthorSteps* authors = nullptr;
    };
    void finishAuthors();
    Subtotals::Measure m_measure;
    std::vector<Entry> m_subtotals;
    ResultSink* m_next = nullptr;
    DiffSink* m_nextDiff = nullptr;
};

// The summary tables in each format. CSV: one table is its header and rows; several each begin
// with a record holding only the title ("種類別", "フォルダ別") and are parted by an empty line.
QByteArray summariesCsv(const std::vector<SummarySet::Table>& tables, CsvFormat::Reader reader);
// JSON: `,"summaries":[…]`, one object per table with its `summary`, `title`, `columns` (key
// and header) and `rows` (objects by column key), ready to go before the closing brace.
QByteArray summariesJson(const std::vector<SummarySet::Table>& tables);
// JSON: `,"unregistered":[…]`, the kinds most bytes first as {"kind","files","bytes"}; an empty
// array when there are none (or `files` is null), so the key is always there.
QByteArray unregisteredJson(const UnregisteredFiles* files);
// The report: each table as a block after an empty line.
QString summariesReport(const std::vector<SummarySet::Table>& tables, const QString& decimalPoint);

// A workbook's sheets: `first`, then one sheet per summary table (種類別, フォルダ別, 未登録の種類); `summaries`
// may be null.
std::vector<WorkbookSheet> withSummarySheets(WorkbookSheet first, const SummarySet* summaries);

} // namespace tarvik
