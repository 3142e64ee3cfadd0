#include "output/ResultSheets.h"

#include "config/NativePath.h"
#include "output/CsvFormat.h"

#include <QHash>

namespace tarvik::ResultSheets {

namespace {

using Kind = FigureTable::Kind;
using Cell = FigureTable::Cell;

FigureTable table(const QString& title, const QStringList& keys, const QStringList& headers, const QList<Kind>& kinds)
{
    FigureTable t;
    t.title = title;
    for (qsizetype i = 0; i < keys.size(); ++i)
        t.columns.push_back({headers[i], keys[i], kinds[i]});
    return t;
}

} // namespace

FigureTable detailTable(bool generatedColumn)
{
    QStringList keys = CsvFormat::resultColumns();
    QStringList headers{QStringLiteral("ファイル"), QStringLiteral("Program ＩＤ"), QStringLiteral("パス"),
                        QStringLiteral("結果"),     QStringLiteral("実行行"),        QStringLiteral("コメント行"),
                        QStringLiteral("総行数")};
    QList<Kind> kinds{Kind::Text, Kind::Text, Kind::Text, Kind::Text, Kind::Count, Kind::Count, Kind::Count};
    if (generatedColumn) {
        keys << QStringLiteral("generated");
        headers << QStringLiteral("生成");
        kinds << Kind::Count;
    }
    return table(QStringLiteral("明細"), keys, headers, kinds);
}

std::vector<Cell> detailRow(const FileResult& r, bool generatedColumn)
{
    std::vector<Cell> cells{exportPath(r.path),    exportPath(r.programId),          exportPath(r.directory),
                            outcomeName(r.outcome), int64_t{r.counts.executable},     int64_t{r.counts.comment},
                            int64_t{r.counts.total}};
    if (generatedColumn)
        cells.emplace_back(int64_t{r.generated ? 1 : 0});
    return cells;
}

SheetTotal detailTotal(int64_t totalSteps)
{
    return {{QStringLiteral("解析結果"), QStringLiteral("総実行行数は")}, totalSteps, QStringLiteral("KStep です")};
}

WorkbookSheet detailSheet(const QList<FileResult>& results, std::optional<int64_t> totalSteps)
{
    WorkbookSheet sheet{detailTable(), std::nullopt};
    sheet.table.rows.reserve(static_cast<size_t>(results.size()));
    for (const FileResult& r : results)
        sheet.table.rows.push_back(detailRow(r));
    if (totalSteps)
        sheet.total = detailTotal(*totalSteps);
    return sheet;
}

FigureTable diffTable()
{
    const QStringList keys{QStringLiteral("relative_path"), QStringLiteral("status"),   QStringLiteral("outcome"),
                           QStringLiteral("old_steps"),     QStringLiteral("new_steps"), QStringLiteral("added"),
                           QStringLiteral("changed"),       QStringLiteral("deleted"),   QStringLiteral("old_path"),
                           QStringLiteral("new_path"),      QStringLiteral("status_code"), QStringLiteral("reused")};
    const QStringList headers{QStringLiteral("ファイル"),   QStringLiteral("状態"),       QStringLiteral("結果"),
                              QStringLiteral("旧ステップ"), QStringLiteral("新ステップ"), QStringLiteral("追加"),
                              QStringLiteral("変更"),       QStringLiteral("削除"),       QStringLiteral("旧パス"),
                              QStringLiteral("新パス"),     QStringLiteral("状態コード"), QStringLiteral("流用")};
    const QList<Kind> kinds{Kind::Text,  Kind::Text,  Kind::Text,  Kind::Count, Kind::Count, Kind::Count,
                            Kind::Count, Kind::Count, Kind::Text,  Kind::Text,  Kind::Text, Kind::Count};
    return table(QStringLiteral("差分"), keys, headers, kinds);
}

std::vector<Cell> diffRow(const FileChange& c)
{
    return {exportPath(c.relativePath), changeStatusText(c.status), outcomeName(c.outcome), c.oldSteps, c.newSteps,
            c.steps.added,              c.steps.changed,            c.steps.deleted,        exportPath(c.oldPath),
            exportPath(c.newPath),      changeStatusCode(c.status), c.reusedSteps()};
}

SheetTotal diffTotal(const DiffTotals& totals)
{
    return {{QStringLiteral("改造規模")}, totals.modifiedSteps(), QStringLiteral("KStep です")};
}

WorkbookSheet diffSheet(const QList<FileChange>& changes, const DiffTotals& totals)
{
    WorkbookSheet sheet{diffTable(), diffTotal(totals)};
    sheet.table.rows.reserve(static_cast<size_t>(changes.size()));
    for (const FileChange& c : changes)
        sheet.table.rows.push_back(diffRow(c));
    return sheet;
}

void useWindowWords(std::vector<WorkbookSheet>& sheets)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("Counted"), QStringLiteral("解析済")},
        {QStringLiteral("NoEngine"), QStringLiteral("不明なファイル")},
        {QStringLiteral("NotAnalysable"), QStringLiteral("解析不能ファイル")},
        {QStringLiteral("Missing"), QStringLiteral("ファイル未存在")},
    };
    static const QHash<QString, QString> rows{
        {QStringLiteral("kind"), QStringLiteral("種類")},
        {QStringLiteral("folder"), QStringLiteral("フォルダ")},
        {QStringLiteral("category"), QStringLiteral("カテゴリ")},
        {QStringLiteral("total"), QStringLiteral("合計")},
        {QStringLiteral("generated"), QStringLiteral("生成ファイル")},
        {QStringLiteral("no_engine"), QStringLiteral("不明なファイル")},
        {QStringLiteral("not_analysable"), QStringLiteral("解析不能ファイル")},
        {QStringLiteral("missing"), QStringLiteral("ファイル未存在")},
    };
    for (WorkbookSheet& sheet : sheets) {
        for (size_t c = 0; c < sheet.table.columns.size(); ++c) {
            const QString& key = sheet.table.columns[c].key;
            const QHash<QString, QString>* table = key == u"outcome" ? &words : key == u"row" ? &rows : nullptr;
            if (!table)
                continue;
            for (auto& row : sheet.table.rows) {
                if (c >= row.size())
                    continue;
                if (const QString* text = std::get_if<QString>(&row[c]))
                    row[c] = table->value(*text, *text);
            }
        }
    }
}

} // namespace tarvik::ResultSheets
