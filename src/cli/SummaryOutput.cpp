#include "cli/SummaryOutput.h"

#include "cli/OutputFormats.h"
#include "config/NativePath.h"
#include "git/AuthorSteps.h"
#include "output/CsvFormat.h"
#include "output/FigureTableText.h"

namespace tarvik {

void SummarySet::add(const SubtotalGrouping& grouping, const IniDocument& settings, GeneratedFiles generated,
                     const FolderRoots* roots)
{
    const QString name = grouping.by == SubtotalGrouping::By::Type       ? QStringLiteral("type")
                         : grouping.by == SubtotalGrouping::By::Category ? QStringLiteral("category")
                                                                         : QStringLiteral("dir:%1").arg(grouping.depth);
    m_subtotals.push_back(
        Entry{name, grouping, std::make_unique<Subtotals>(m_measure, grouping, settings, generated, roots)});
}

void SummarySet::addUnregistered(const UnregisteredFiles* files)
{
    m_subtotals.push_back(Entry{QStringLiteral("unregistered"), SubtotalGrouping{}, nullptr, files});
}

void SummarySet::addAuthors(AuthorSteps* authors)
{
    m_subtotals.push_back(Entry{QStringLiteral("author"), SubtotalGrouping{}, nullptr, nullptr, authors});
}

bool SummarySet::byFolder() const
{
    for (const Entry& e : m_subtotals) {
        // Categories match paths below the folder a file was found in, as folders group by it.
        if (e.subtotals && e.grouping.by != SubtotalGrouping::By::Type)
            return true;
    }
    return false;
}

std::vector<SummarySet::Table> SummarySet::tables() const
{
    std::vector<Table> out;
    for (const Entry& e : m_subtotals)
        out.push_back(Table{e.name, e.subtotals ? e.subtotals->table()
                                    : e.authors ? e.authors->table()
                                                : unregisteredTable(*e.unregistered)});
    return out;
}

void SummarySet::fileAnalysed(qsizetype i, const FileResult& r)
{
    for (Entry& e : m_subtotals) {
        if (e.subtotals)
            e.subtotals->add(r);
        else if (e.authors)
            e.authors->add(r);
    }
    m_next->fileAnalysed(i, r);
}

// Before the output's end, which writes the tables.
void SummarySet::runFinished(const RunSummary& s)
{
    finishAuthors();
    m_next->runFinished(s);
}

void SummarySet::diffFinished(const DiffSummary& s)
{
    finishAuthors();
    m_nextDiff->diffFinished(s);
}

void SummarySet::finishAuthors()
{
    for (Entry& e : m_subtotals) {
        if (e.authors)
            e.authors->finish();
    }
}

void SummarySet::fileCompared(qsizetype i, const FileChange& c)
{
    for (Entry& e : m_subtotals) {
        if (e.subtotals)
            e.subtotals->add(c);
        else if (e.authors)
            e.authors->add(c);
    }
    m_nextDiff->fileCompared(i, c);
}

QByteArray summariesCsv(const std::vector<SummarySet::Table>& tables, CsvFormat::Reader reader)
{
    QByteArray out;
    for (const SummarySet::Table& t : tables) {
        if (tables.size() > 1)
            out += (out.isEmpty() ? QByteArray() : QByteArrayLiteral("\r\n")) + CsvFormat::record({t.table.title}, reader);
        out += figureTableCsv(t.table, reader);
    }
    return out;
}

QByteArray summariesJson(const std::vector<SummarySet::Table>& tables)
{
    QByteArray out = ",\"summaries\":[";
    for (size_t n = 0; n < tables.size(); ++n) {
        const FigureTable& t = tables[n].table;
        out += (n > 0 ? ",\n{" : "\n{");
        out += "\"summary\":" + jsonString(tables[n].name) + ",\"title\":" + jsonString(t.title) + ",\"columns\":[";
        for (size_t c = 0; c < t.columns.size(); ++c)
            out += QByteArray(c > 0 ? "," : "") + "{\"key\":" + jsonString(t.columns[c].key)
                   + ",\"header\":" + jsonString(t.columns[c].header) + '}';
        out += "],\"rows\":[";
        for (size_t r = 0; r < t.rows.size(); ++r) {
            out += r > 0 ? ",\n{" : "\n{";
            for (size_t c = 0; c < t.rows[r].size() && c < t.columns.size(); ++c) {
                const QString text = figureCellText(t, c, t.rows[r][c]);
                out += (c > 0 ? "," : "") + jsonString(t.columns[c].key) + ':'
                       + (t.columns[c].kind == FigureTable::Kind::Text ? jsonString(text) : text.toLatin1());
            }
            out += '}';
        }
        out += "\n]}";
    }
    return out + "\n]";
}

QByteArray unregisteredJson(const UnregisteredFiles* files)
{
    QByteArray out = ",\"unregistered\":[";
    if (files) {
        bool first = true;
        for (const UnregisteredKind& k : files->kinds()) {
            out += (first ? "\n{" : ",\n{") + QByteArray("\"kind\":") + jsonString(exportPath(k.kind))
                   + ",\"files\":" + QByteArray::number(k.files) + ",\"bytes\":" + QByteArray::number(k.bytes) + '}';
            first = false;
        }
        if (!first)
            out += '\n';
    }
    return out + ']';
}

QString summariesReport(const std::vector<SummarySet::Table>& tables, const QString& decimalPoint)
{
    QString out;
    for (const SummarySet::Table& t : tables)
        out += QStringLiteral("\r\n") + figureTableReport(t.table, decimalPoint);
    return out;
}

std::vector<WorkbookSheet> withSummarySheets(WorkbookSheet first, const SummarySet* summaries)
{
    std::vector<WorkbookSheet> sheets;
    sheets.push_back(std::move(first));
    if (summaries) {
        for (SummarySet::Table& t : summaries->tables())
            sheets.push_back(WorkbookSheet{std::move(t.table), std::nullopt});
    }
    return sheets;
}

} // namespace tarvik
