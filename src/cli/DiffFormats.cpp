#include "cli/DiffFormats.h"

#include "cli/SummaryOutput.h"
#include "config/NativePath.h"
#include "counting/DiffReport.h"
#include "counting/TextReport.h"
#include "output/DiffCsvFile.h"
#include "output/FigureDocument.h"
#include "output/ResultSheets.h"

#include <QDate>
#include <QLocale>

namespace tarvik {

namespace {

class DiffReportWriter : public DiffFormatWriter {
public:
    DiffReportWriter(Write write, const QString& date)
        : m_write(std::move(write)), m_report([this](const QString& text) { m_write(text.toUtf8()); }, date)
    {
    }
    void diffStarted(qsizetype n) override { m_report.diffStarted(n); }
    void fileCompared(qsizetype i, const FileChange& c) override { m_report.fileCompared(i, c); }
    void diffFinished(const DiffSummary& s) override
    {
        m_report.diffFinished(s);
        if (m_summaries)
            m_write(summariesReport(m_summaries->tables(), QLocale::system().decimalPoint()).toUtf8());
    }
    void diffFailed(const RunError&) override {}

private:
    Write m_write;
    DiffTextReport m_report;
};

class DiffCsvWriter : public DiffFormatWriter {
public:
    DiffCsvWriter(Write write, CsvFormat::Reader reader) : m_write(std::move(write)), m_reader(reader) {}
    // With subtotals, they are the output instead of the files' rows.
    void diffStarted(qsizetype) override
    {
        if (m_summaries)
            return;
        QByteArray header = DiffCsv::header();
        if (m_categoryColumn)
            header.insert(header.size() - 2, ",category");
        m_write(header);
    }
    void fileCompared(qsizetype, const FileChange& c) override
    {
        if (m_summaries)
            return;
        QByteArray row = DiffCsv::row(c, m_reader);
        if (m_categoryColumn)
            row.insert(row.size() - 2, ',' + CsvFormat::field(m_categorize(c), m_reader));
        m_write(row);
    }
    void diffFinished(const DiffSummary&) override
    {
        if (m_summaries)
            m_write(summariesCsv(m_summaries->tables(), m_reader));
    }
    void diffFailed(const RunError&) override {}

private:
    Write m_write;
    CsvFormat::Reader m_reader;
};

class DiffJsonWriter : public DiffFormatWriter {
public:
    explicit DiffJsonWriter(Write write) : m_write(std::move(write)) {}
    void diffStarted(qsizetype) override { m_write(QByteArrayLiteral("{\"files\":[")); }
    void fileCompared(qsizetype i, const FileChange& c) override
    {
        QByteArray obj = i > 0 ? ",\n" : "\n";
        obj += "{\"relativePath\":" + jsonString(exportPath(c.relativePath)) + ",\"status\":" + jsonString(changeStatusText(c.status))
               + ",\"statusCode\":" + jsonString(changeStatusCode(c.status))
               + ",\"outcome\":" + jsonString(outcomeName(c.outcome)) + ",\"oldSteps\":" + QByteArray::number(c.oldSteps)
               + ",\"newSteps\":" + QByteArray::number(c.newSteps) + ",\"added\":" + QByteArray::number(c.steps.added)
               + ",\"changed\":" + QByteArray::number(c.steps.changed)
               + ",\"deleted\":" + QByteArray::number(c.steps.deleted)
               + ",\"reused\":" + QByteArray::number(c.reusedSteps()) + ",\"oldPath\":" + jsonString(exportPath(c.oldPath))
               + ",\"newPath\":" + jsonString(exportPath(c.newPath))
               + ",\"generated\":" + (c.generated ? "true" : "false")
               + (m_categorize ? ",\"category\":" + jsonString(m_categorize(c)) : QByteArray()) + '}';
        m_write(obj);
    }
    void diffFinished(const DiffSummary& s) override
    {
        const DiffTotals& t = s.totals;
        m_write("\n],\"totals\":{\"newFiles\":" + QByteArray::number(t.newFiles)
                + ",\"deletedFiles\":" + QByteArray::number(t.deletedFiles)
                + ",\"changedFiles\":" + QByteArray::number(t.changedFiles)
                + ",\"unchangedFiles\":" + QByteArray::number(t.unchangedFiles)
                + ",\"oldSteps\":" + QByteArray::number(t.oldSteps) + ",\"newSteps\":" + QByteArray::number(t.newSteps)
                + ",\"added\":" + QByteArray::number(t.steps.added) + ",\"changed\":" + QByteArray::number(t.steps.changed)
                + ",\"deleted\":" + QByteArray::number(t.steps.deleted)
                + ",\"reused\":" + QByteArray::number(t.reusedSteps())
                + ",\"generatedFiles\":" + QByteArray::number(t.generatedFiles)
                + ",\"modificationKStep\":" + TextReport::kstepFigure(t.modifiedSteps(), QStringLiteral(".")).toUtf8()
                + '}' + unregisteredJson(m_unregistered) + (m_summaries ? summariesJson(m_summaries->tables()) : QByteArray()) + "}\n");
    }
    void diffFailed(const RunError& e) override
    {
        m_write("\n],\"error\":{\"path\":" + jsonString(e.path) + ",\"reason\":" + jsonString(e.reason) + "}}\n");
    }

private:
    Write m_write;
};

// The rows of the CSV as the "差分" sheet, closed by the modification size.
class DiffWorkbookWriter : public DiffFormatWriter {
public:
    void diffStarted(qsizetype n) override { m_sheet.table.rows.reserve(static_cast<size_t>(n)); }
    void fileCompared(qsizetype, const FileChange& c) override { m_sheet.table.rows.push_back(ResultSheets::diffRow(c)); }
    void diffFinished(const DiffSummary& s) override { m_sheet.total = ResultSheets::diffTotal(s.totals); }
    void diffFailed(const RunError&) override {}
    std::vector<WorkbookSheet> takeSheets() override
    {
        return withSummarySheets(std::move(m_sheet), m_summaries);
    }

private:
    WorkbookSheet m_sheet{ResultSheets::diffTable(), std::nullopt};
};

// The totals and the subtotals asked for, as a Markdown or HTML document once the comparison is
// done.
class DiffDocumentWriter : public DiffFormatWriter {
public:
    DiffDocumentWriter(FormatWriter::Format format, Write write, QString date)
        : m_format(format), m_write(std::move(write)), m_date(std::move(date))
    {
    }
    void fileCompared(qsizetype, const FileChange&) override {}
    void diffFinished(const DiffSummary& s) override
    {
        using Kind = FigureTable::Kind;
        const DiffTotals& t = s.totals;
        FigureTable files;
        files.title = QStringLiteral("ファイル");
        files.columns = {{QStringLiteral("新規"), QStringLiteral("new_files"), Kind::Count},
                         {QStringLiteral("削除"), QStringLiteral("deleted_files"), Kind::Count},
                         {QStringLiteral("変更"), QStringLiteral("changed_files"), Kind::Count},
                         {QStringLiteral("変更なし"), QStringLiteral("unchanged_files"), Kind::Count}};
        files.rows.push_back({int64_t(t.newFiles), int64_t(t.deletedFiles), int64_t(t.changedFiles), int64_t(t.unchangedFiles)});
        FigureTable steps;
        steps.title = QStringLiteral("ステップ");
        steps.columns = {{QStringLiteral("旧"), QStringLiteral("old_steps"), Kind::Count},
                         {QStringLiteral("新"), QStringLiteral("new_steps"), Kind::Count},
                         {QStringLiteral("追加"), QStringLiteral("added"), Kind::Count},
                         {QStringLiteral("変更"), QStringLiteral("changed"), Kind::Count},
                         {QStringLiteral("削除"), QStringLiteral("deleted"), Kind::Count},
                         {QStringLiteral("流用"), QStringLiteral("reused"), Kind::Count},
                         {QStringLiteral("改造規模"), QStringLiteral("modified"), Kind::Count},
                         {QStringLiteral("KStep"), QStringLiteral("kstep"), Kind::KStep}};
        steps.rows.push_back({t.oldSteps, t.newSteps, t.steps.added, t.steps.changed, t.steps.deleted, t.reusedSteps(),
                              t.modifiedSteps(), t.modifiedSteps()});
        FigureDocument document{QStringLiteral("改造規模"), m_date, {std::move(files), std::move(steps)},
                                QStringLiteral("modified")};
        if (m_summaries) {
            for (SummarySet::Table& table : m_summaries->tables())
                document.tables.push_back(std::move(table.table));
        }
        writeFigureDocument(m_format, m_write, std::move(document));
    }
    void diffFailed(const RunError&) override {}

private:
    FormatWriter::Format m_format;
    Write m_write;
    QString m_date;
};

} // namespace

std::unique_ptr<DiffFormatWriter> DiffFormatWriter::create(FormatWriter::Format format, Write write, const QString& date,
                                                           CsvFormat::Reader reader)
{
    switch (format) {
    case FormatWriter::Format::Csv:
        return std::make_unique<DiffCsvWriter>(std::move(write), reader);
    case FormatWriter::Format::Json:
        return std::make_unique<DiffJsonWriter>(std::move(write));
    case FormatWriter::Format::Xlsx:
        return std::make_unique<DiffWorkbookWriter>();
    case FormatWriter::Format::Markdown:
    case FormatWriter::Format::Html:
        return std::make_unique<DiffDocumentWriter>(
            format, std::move(write),
            date.isNull() ? QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) : date);
    case FormatWriter::Format::Report:
        break;
    }
    return std::make_unique<DiffReportWriter>(std::move(write), date);
}

} // namespace tarvik
