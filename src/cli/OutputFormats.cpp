#include "cli/OutputFormats.h"

#include "cli/SummaryOutput.h"
#include "config/NativePath.h"
#include "counting/TextReport.h"
#include "output/CsvFormat.h"
#include "output/FigureDocument.h"
#include "output/ResultSheets.h"

#include <QDate>

#include <QLocale>


namespace tarvik {

namespace {

// The report exactly as a saved log holds it: the report text followed by CR LF.
class ReportWriter : public FormatWriter {
public:
    ReportWriter(Write write, const QString& date)
        : m_write(std::move(write)), m_report(
                                         [this](const QString& text) {
                                             m_written = true;
                                             m_write(text.toUtf8());
                                         },
                                         date)
    {
    }
    void runStarted(qsizetype n) override { m_report.runStarted(n); }
    void fileAnalysed(qsizetype i, const FileResult& r) override { m_report.fileAnalysed(i, r); }
    void runFinished(const RunSummary& s) override
    {
        m_report.runFinished(s);
        if (m_separateGenerated)
            m_report.WriteGeneratedTotals(s);
        // Blocks only after a report: a run over nothing leaves it empty.
        if (m_summaries && m_written)
            m_write(summariesReport(m_summaries->tables(), QLocale::system().decimalPoint()).toUtf8());
        close();
    }
    void separateGenerated() override { m_separateGenerated = true; }
    void runFailed(const RunError&) override { close(); }

private:
    void close()
    {
        if (m_written)
            m_write(QByteArrayLiteral("\r\n"));
    }
    Write m_write;
    TextReport m_report;
    bool m_written = false;
    bool m_separateGenerated = false;
};

class CsvWriter : public FormatWriter {
public:
    CsvWriter(Write write, CsvFormat::Reader reader) : m_write(std::move(write)), m_reader(reader) {}
    // No byte order mark unless asked for (--bom): what reads this output takes plain UTF-8.
    void runStarted(qsizetype) override
    {
        if (m_summaries)
            return;
        QStringList columns = CsvFormat::resultColumns();
        if (m_generatedColumn)
            columns << QStringLiteral("generated");
        if (m_categoryColumn)
            columns << QStringLiteral("category");
        m_write(CsvFormat::record(columns, m_reader));
    }
    void fileAnalysed(qsizetype, const FileResult& r) override
    {
        if (m_summaries)
            return;
        QByteArray record = CsvFormat::resultRecord(r, m_reader);
        if (m_generatedColumn)
            record.insert(record.size() - 2, r.generated ? ",1" : ",0"); // before the CR LF
        if (m_categoryColumn)
            record.insert(record.size() - 2, ',' + CsvFormat::field(m_categorize(r), m_reader));
        m_write(record);
    }
    void runFinished(const RunSummary&) override
    {
        if (m_summaries)
            m_write(summariesCsv(m_summaries->tables(), m_reader));
    }
    void flagGenerated() override { m_generatedColumn = true; }
    void runFailed(const RunError&) override {}

private:
    Write m_write;
    CsvFormat::Reader m_reader;
    bool m_generatedColumn = false;
};

class JsonWriter : public FormatWriter {
public:
    explicit JsonWriter(Write write) : m_write(std::move(write)) {}
    void runStarted(qsizetype) override { m_write(QByteArrayLiteral("{\"files\":[")); }
    void fileAnalysed(qsizetype i, const FileResult& r) override
    {
        QByteArray obj = (i > 0 ? ",\n" : "\n");
        obj += "{\"path\":" + jsonString(exportPath(r.path)) + ",\"programId\":" + jsonString(exportPath(r.programId))
               + ",\"directory\":" + jsonString(exportPath(r.directory))
               + ",\"outcome\":" + jsonString(outcomeName(r.outcome))
               + ",\"executable\":" + QByteArray::number(r.counts.executable)
               + ",\"comment\":" + QByteArray::number(r.counts.comment)
               + ",\"total\":" + QByteArray::number(r.counts.total)
               + ",\"generated\":" + (r.generated ? "true" : "false")
               + (m_categorize ? ",\"category\":" + jsonString(m_categorize(r)) : QByteArray()) + '}';
        m_write(obj);
    }
    void runFinished(const RunSummary& s) override
    {
        m_write("\n],\"totalSteps\":" + QByteArray::number(s.totalSteps)
                + ",\"kstep\":" + TextReport::kstepFigure(s.totalSteps, QStringLiteral(".")).toUtf8()
                + ",\"generatedFiles\":" + QByteArray::number(s.generatedFiles)
                + ",\"generatedSteps\":" + QByteArray::number(s.generatedSteps) + unregisteredJson(m_unregistered)
                + (m_summaries ? summariesJson(m_summaries->tables()) : QByteArray()) + "}\n");
    }
    void runFailed(const RunError& e) override
    {
        m_write("\n],\"error\":{\"path\":" + jsonString(e.path) + ",\"reason\":" + jsonString(e.reason) + "}}\n");
    }

private:
    Write m_write;
};

// The rows of the CSV as the "明細" sheet, closed by the totals line of the grid.
class WorkbookWriter : public FormatWriter {
public:
    void runStarted(qsizetype n) override
    {
        m_sheet.table = ResultSheets::detailTable(m_generatedColumn);
        m_sheet.table.rows.reserve(static_cast<size_t>(n));
    }
    void fileAnalysed(qsizetype, const FileResult& r) override
    {
        m_sheet.table.rows.push_back(ResultSheets::detailRow(r, m_generatedColumn));
    }
    void runFinished(const RunSummary& s) override
    {
        if (!m_sheet.table.rows.empty()) // as the grid: an empty list has no totals row
            m_sheet.total = ResultSheets::detailTotal(s.totalSteps);
    }
    void flagGenerated() override { m_generatedColumn = true; }
    void runFailed(const RunError&) override {}
    std::vector<WorkbookSheet> takeSheets() override
    {
        return withSummarySheets(std::move(m_sheet), m_summaries);
    }

private:
    WorkbookSheet m_sheet{ResultSheets::detailTable(), std::nullopt};
    bool m_generatedColumn = false;
};

// The totals and the subtotals asked for, as a Markdown or HTML document once the run is done.
class DocumentWriter : public FormatWriter {
public:
    DocumentWriter(Format format, Write write, QString date) : m_format(format), m_write(std::move(write)), m_date(std::move(date)) {}
    void fileAnalysed(qsizetype, const FileResult& r) override
    {
        ++m_files;
        if (r.outcome != FileOutcome::Counted)
            return;
        Sums& sums = r.generated && m_separate ? m_generated : m_counted;
        ++sums.files;
        sums.executable += r.counts.executable;
        sums.comment += r.counts.comment;
        sums.total += r.counts.total;
    }
    void runFinished(const RunSummary& s) override
    {
        using Kind = FigureTable::Kind;
        FigureTable totals;
        totals.title = QStringLiteral("合計");
        totals.columns = {{QStringLiteral("ファイル数"), QStringLiteral("files"), Kind::Count},
                          {QStringLiteral("実行行"), QStringLiteral("executable"), Kind::Count},
                          {QStringLiteral("コメント行"), QStringLiteral("comment"), Kind::Count},
                          {QStringLiteral("総行数"), QStringLiteral("total"), Kind::Count},
                          {QStringLiteral("KStep"), QStringLiteral("kstep"), Kind::KStep},
                          {QStringLiteral("区分"), QStringLiteral("row"), Kind::Text}};
        totals.rows.push_back({int64_t(m_files - m_generated.files), m_counted.executable, m_counted.comment,
                               m_counted.total, s.totalSteps, QStringLiteral("total")});
        // Kept out of the totals, as the report keeps them.
        if (m_separate && m_generated.files > 0)
            totals.rows.push_back({int64_t(m_generated.files), m_generated.executable, m_generated.comment,
                                   m_generated.total, m_generated.executable, QStringLiteral("generated")});
        FigureDocument document{QStringLiteral("ステップ数"), m_date, {std::move(totals)}, QStringLiteral("executable")};
        if (m_summaries) {
            for (SummarySet::Table& table : m_summaries->tables())
                document.tables.push_back(std::move(table.table));
        }
        writeFigureDocument(m_format, m_write, std::move(document));
    }
    void separateGenerated() override { m_separate = true; }
    void runFailed(const RunError&) override {}

private:
    struct Sums {
        qsizetype files = 0;
        int64_t executable = 0, comment = 0, total = 0;
    };
    Format m_format;
    Write m_write;
    QString m_date;
    qsizetype m_files = 0;
    Sums m_counted, m_generated;
    bool m_separate = false;
};

} // namespace

void writeFigureDocument(FormatWriter::Format format, const FormatWriter::Write& write, FigureDocument document)
{
    write(format == FormatWriter::Format::Html ? htmlDocument(document) : markdownDocument(document));
}

QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::unique_ptr<FormatWriter> FormatWriter::create(Format format, Write write, const QString& date,
                                                   CsvFormat::Reader reader)
{
    switch (format) {
    case Format::Csv:
        return std::make_unique<CsvWriter>(std::move(write), reader);
    case Format::Json:
        return std::make_unique<JsonWriter>(std::move(write));
    case Format::Xlsx:
        return std::make_unique<WorkbookWriter>();
    case Format::Markdown:
    case Format::Html:
        return std::make_unique<DocumentWriter>(
            format, std::move(write),
            date.isNull() ? QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) : date);
    case Format::Report:
        break;
    }
    return std::make_unique<ReportWriter>(std::move(write), date);
}

bool FormatWriter::parseFormat(const QString& name, Format& format)
{
    if (name == u"report")
        format = Format::Report;
    else if (name == u"csv")
        format = Format::Csv;
    else if (name == u"json")
        format = Format::Json;
    else if (name == u"xlsx")
        format = Format::Xlsx;
    else if (name == u"md")
        format = Format::Markdown;
    else if (name == u"html")
        format = Format::Html;
    else
        return false;
    return true;
}

} // namespace tarvik
