// Results into spreadsheets: Ctrl+C on the result grid and the CSV save, on real sample files,
// checked against what the command line reports for the same files.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "cli/CountCommand.h"
#include "config/NativePath.h"
#include "output/ResultGridModel.h"

#include "support/DelimitedText.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WorkbookReader.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <sstream>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kBom = "\xEF\xBB\xBF";
const QString kUntouched = QStringLiteral("(clipboard not written)");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class SpreadsheetExportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_files; // as registered, in list order
    std::string m_nativeName; // the file whose name is not UTF-8: removed by its bytes

    QTableView* grid() const { return m_window->findChild<QTableView*>(QStringLiteral("MSFlexGrid1")); }

    // The real sample files, names a spreadsheet could split, a name that is not UTF-8, a file
    // type without an engine and a missing file.
    void registerAndRun()
    {
        const QDir samples(QStringLiteral(TARVIK_SOURCE_DIR "/tests/samples"));
        for (const QString& name : samples.entryList(QDir::Files, QDir::Name))
            m_files << samples.filePath(name);
        const QByteArray c = readFile(samples.filePath(QStringLiteral("sample.c")));
        QVERIFY(!c.isEmpty());
        for (const char* name : {"odd/tab\there.c", "odd/line\nbreak.c", "odd/say \"hi\", then.c", "odd/ padded .c"})
            m_files << m_dir->write(QString::fromUtf8(name), c);
        m_files << m_dir->write(QStringLiteral("odd/notes.unknownext"), "text\n");
        m_files << m_dir->path(QStringLiteral("odd/gone.c"));
        QList<QUrl> urls;
        for (const QString& f : std::as_const(m_files))
            urls << QUrl::fromLocalFile(f);
        // "テスト.c" in CP932, dropped as a file manager sends it: percent-encoded bytes.
        const QByteArray cp932 = QFile::encodeName(m_dir->path(QStringLiteral("odd/"))) + "\x83\x65\x83\x58\x83\x67.c";
        m_nativeName.assign(cp932.constData(), static_cast<size_t>(cp932.size()));
        FILE* f = std::fopen(m_nativeName.c_str(), "wb");
        QVERIFY(f);
        std::fwrite(c.constData(), 1, static_cast<size_t>(c.size()), f);
        std::fclose(f);
        m_files << pathFromNative(m_nativeName);
        urls << QUrl::fromEncoded("file://" + cp932.toPercentEncoding("/"));

        QVERIFY(test::dropUrls(*m_window, urls));
        QCOMPARE(m_window->analysisList()->rowCount(), m_files.size());
        m_window->RunAnalysis();
    }

    QJsonObject cliJson() const { return QJsonDocument::fromJson(cli(QStringLiteral("json"))).object(); }
    QByteArray cli(const QString& format) const
    {
        std::ostringstream out, err;
        CountCommand command({m_dir->path(QStringLiteral("Tarvik.ini")), m_dir->path(), false, false, 2});
        const int rc = command.execute(QStringList{QStringLiteral("--format"), format} + m_files, out, err);
        return rc == 0 ? QByteArray::fromStdString(out.str()) : QByteArray();
    }

    // A result row as the grid shows it, from the command line's account of the file.
    static QStringList expectedCells(const QJsonObject& file)
    {
        const QString outcome = file[QStringLiteral("outcome")].toString();
        auto number = [&](const char* key) { return QString::number(file[QLatin1String(key)].toInteger()); };
        QString figure = number("executable");
        if (outcome == u"NoEngine")
            figure = QStringLiteral("不明なファイル");
        else if (outcome == u"NotAnalysable")
            figure = QStringLiteral("解析不能ファイル");
        else if (outcome == u"Missing")
            figure = QStringLiteral("ファイル未存在");
        return {file[QStringLiteral("programId")].toString(), file[QStringLiteral("directory")].toString(), figure,
                number("comment"), number("total")};
    }
    static QStringList titles()
    {
        return {QStringLiteral("Program ＩＤ"), QStringLiteral("パス"), QStringLiteral("実行行"),
                QStringLiteral("コメント行"), QStringLiteral("総行数")};
    }

    QList<QStringList> copyWithCtrlC()
    {
        QGuiApplication::clipboard()->setText(kUntouched);
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
        const QString text = QGuiApplication::clipboard()->text();
        if (text == kUntouched)
            return {};
        bool ok = false;
        QList<QStringList> records = test::parseDelimited(text, u'\t', &ok);
        if (!ok)
            qWarning("not well-formed tab-separated text: %s", qPrintable(text));
        return records;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dir->write(QStringLiteral("Tarvik.ini"), readFile(QStringLiteral(TARVIK_SOURCE_DIR "/data/Tarvik.ini")));
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_files.clear();
    }
    void cleanup()
    {
        m_window.reset();
        if (!m_nativeName.empty())
            ::unlink(m_nativeName.c_str()); // the temporary folder's removal cannot name it
        m_nativeName.clear();
        m_dir.reset();
        QVERIFY(m_prompter->done());
    }

    void ctrlCWithoutASelectionCopiesEveryResultUnderTheTitles()
    {
        QVERIFY(copyWithCtrlC().isEmpty()); // nothing to copy before a run
        registerAndRun();
        const QJsonArray files = cliJson()[QStringLiteral("files")].toArray();
        QCOMPARE(files.size(), m_files.size());

        grid()->clearSelection();
        const QList<QStringList> records = copyWithCtrlC();
        QCOMPARE(records.size(), files.size() + 1); // the totals row is left out
        QCOMPARE(records[0], titles());
        for (qsizetype i = 0; i < files.size(); ++i)
            QCOMPARE(records[i + 1], expectedCells(files[i].toObject()));

        // The awkward names arrive quoted, each in one cell.
        const QString text = QGuiApplication::clipboard()->text();
        QVERIFY(text.contains(QStringLiteral("\n\"tab\there.c\"\t")));
        QVERIFY(text.contains(QStringLiteral("\n\"line\nbreak.c\"\t")));
        QVERIFY(text.contains(QStringLiteral("\n\"say \"\"hi\"\", then.c\"\t")));
        QVERIFY(text.contains(QStringLiteral("\n padded .c\t")));
    }

    void ctrlCCopiesTheSelectedRowsWhole()
    {
        registerAndRun();
        const QJsonObject json = cliJson();
        const QJsonArray files = json[QStringLiteral("files")].toArray();
        QAbstractItemModel* model = grid()->model();

        // Cells of two columns in rows 2 to 4 select those rows, every column of them.
        grid()->selectionModel()->select(QItemSelection(model->index(2, 1), model->index(4, 2)),
                                         QItemSelectionModel::ClearAndSelect);
        QList<QStringList> records = copyWithCtrlC();
        QCOMPARE(records.size(), 4);
        QCOMPARE(records[0], titles());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(records[i + 1], expectedCells(files[i + 2].toObject()));

        // The totals row goes with the selection when it is selected.
        const int last = static_cast<int>(files.size());
        grid()->selectionModel()->select(QItemSelection(model->index(last - 1, 0), model->index(last, 4)),
                                         QItemSelectionModel::ClearAndSelect);
        records = copyWithCtrlC();
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[1], expectedCells(files[last - 1].toObject()));
        QCOMPARE(records[2].mid(0, 3),
                 (QStringList{QStringLiteral("解析結果"), QStringLiteral("総実行行数は"),
                              QString::number(json[QStringLiteral("kstep")].toDouble(), 'f', 3)
                                  + QStringLiteral(" KStep です")}));
    }

    void csvSaveHoldsTheCommandLineRowsAfterAByteOrderMark()
    {
        QMenu* fileMenu = m_window->findChild<QMenu*>(QStringLiteral("Mn_File"));
        const QList<QAction*> items = fileMenu->actions();
        // Our own commands follow the usual ones: after 印刷, before 終了.
        const qsizetype print = items.indexOf(m_window->findChild<QAction*>(QStringLiteral("Mn_FilePrint")));
        QAction* csvSave = m_window->findChild<QAction*>(QStringLiteral("Mn_CsvSave"));
        QVERIFY(print >= 0 && items.indexOf(csvSave) > print
                && items.indexOf(csvSave) < items.indexOf(m_window->findChild<QAction*>(QStringLiteral("Mn_End"))));
        QCOMPARE(csvSave->text(), QStringLiteral("CSV形式で保存"));
        QVERIFY(csvSave->isEnabled());

        m_prompter->expect(Kind::Message, QStringLiteral("保存可能データが存在しません"));
        csvSave->trigger();

        registerAndRun();
        const QString path = m_dir->path(QStringLiteral("results.csv"));
        m_prompter->expect(Kind::SaveFile, QStringLiteral("CSV形式で保存"), {path});
        csvSave->trigger();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("CSVファイル (*.csv)"));
        const QByteArray saved = readFile(path);
        QVERIFY(saved.startsWith(kBom));
        const QByteArray expected = cli(QStringLiteral("csv"));
        QVERIFY(expected.startsWith("path,program_id,directory,outcome,executable,comment,total\r\n"));
        QCOMPARE(saved.mid(kBom.size()), expected);

        // Cancelling the dialog writes nothing.
        QFile::remove(path);
        m_prompter->expect(Kind::SaveFile, {}, {});
        csvSave->trigger();
        QVERIFY(!QFile::exists(path));
    }

    void excelSaveHoldsTheCsvRowsAndTheTotalsRow()
    {
        QAction* excelSave = m_window->findChild<QAction*>(QStringLiteral("Mn_excel")); // its place: MainWindowTest
        m_prompter->expect(Kind::Message, QStringLiteral("保存可能データが存在しません"));
        excelSave->trigger();

        registerAndRun();
        const QString path = m_dir->path(QStringLiteral("results.xlsx"));
        m_prompter->expect(Kind::SaveFile, QStringLiteral("Excel形式で保存"), {path});
        excelSave->trigger();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("Excel ファイル (*.xlsx)"));
        const QJsonObject sheet = test::readSheet(path, QStringLiteral("明細"));
        QCOMPARE(test::differenceFromCsv(sheet, QString::fromUtf8(cli(QStringLiteral("csv"))), test::windowWords()), QString());
        const QJsonArray rows = sheet[QStringLiteral("rows")].toArray();
        QCOMPARE(rows.size(), m_files.size() + 2);
        const QJsonArray totals = rows.last().toArray();
        QCOMPARE(totals[2][QStringLiteral("v")].toDouble(), cliJson()[QStringLiteral("kstep")].toDouble());
        // The subtotals follow, their total row last: the run's KStep again.
        for (const QString& title : {QStringLiteral("種類別"), QStringLiteral("フォルダ別")}) {
            const QJsonArray sums = test::readSheet(path, title)[QStringLiteral("rows")].toArray();
            QVERIFY2(sums.size() >= 3, qPrintable(title));
            QCOMPARE(sums.last().toArray()[0][QStringLiteral("v")].toString(), QStringLiteral("合計"));
            // 区分 in the window's words; the command line's workbook keeps "total".
            const QJsonArray last = sums.last().toArray();
            QCOMPARE(last[last.size() - 1][QStringLiteral("v")].toString(), QStringLiteral("合計"));
            QCOMPARE(sums[1].toArray()[last.size() - 1][QStringLiteral("v")].toString(),
                     title == u"種類別" ? QStringLiteral("種類") : QStringLiteral("フォルダ"));
        }
    }

    void aFailedCsvSaveNamesTheFileAndTheReasonAndLeavesNoFile()
    {
        registerAndRun();
        const QString bad = m_dir->path(QStringLiteral("no/such/folder/results.csv"));
        m_prompter->expect(Kind::SaveFile, {}, {bad}).expect(Kind::Message, {});
        m_window->SaveCsv();
        const QString start = QStringLiteral("CSVファイルを保存できませんでした。\n") + bad + u'\n';
        QVERIFY(m_prompter->messages.last().startsWith(start));
        QVERIFY(m_prompter->messages.last().size() > start.size()); // the reason follows
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        QVERIFY(!QFile::exists(bad));
        QVERIFY(!QDir(m_dir->path(QStringLiteral("no"))).exists());
    }
};

QTEST_MAIN(SpreadsheetExportTest)
#include "SpreadsheetExportTest.moc"
