// The version comparison from the main window: the dialog, the run, and the result window with
// its grid, CSV file and printed pages, on real folders.
#include "app/DiffResultWindow.h"
#include "app/MainWindow.h"
#include "app/StatusMessage.h"
#include "output/DiffGridModel.h"

#include "support/RecordingLauncher.h"
#include "support/ScriptedDialogRunner.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WorkbookReader.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QAbstractBarSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::child;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedDialogRunner;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

// C files are counted, text files are searched but have no engine.
const QByteArray kIni = "[Engin]\r\nList=c,txt\r\nAnr_Eng=C_STYLE\r\nLang_c=C_STYLE,C,1\r\nLang_txt=,Text,1\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";
const QString kNoPrinter = QStringLiteral("既定のプリンタがありません。\n印刷結果をPDFファイルに保存しますか？");

QStringList rowTexts(const DiffGridModel& model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts.append(model.cellText(row, column));
    return texts;
}

} // namespace

class DiffWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScriptedDialogRunner> m_dialogs;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;
    QString m_old, m_new;

    QAction* action(QObject& owner, const char* name) { return child<QAction>(owner, name); }
    QList<DiffResultWindow*> resultWindows() const { return m_window->findChildren<DiffResultWindow*>(); }

    // Five files: one changed by a statement and one more, one changed only in a comment, one
    // removed, one added in a subfolder, and a text file without an engine whose bytes differ.
    void writeVersions()
    {
        m_old = m_dir->mkdir(QStringLiteral("v1"));
        m_new = m_dir->mkdir(QStringLiteral("v2"));
        m_dir->write(QStringLiteral("v1/a.c"), "x = 1;\ny = 2;\n");
        m_dir->write(QStringLiteral("v2/a.c"), "x = 1;\ny = 3;\nz = 4;\n");
        m_dir->write(QStringLiteral("v1/b.c"), "p();\n// old comment\n");
        m_dir->write(QStringLiteral("v2/b.c"), "p();  // reworded comment\n\n");
        m_dir->write(QStringLiteral("v1/gone.c"), "q();\nr();\ns();\n");
        m_dir->write(QStringLiteral("v2/sub/n.c"), "t();\n");
        m_dir->write(QStringLiteral("v1/notes.txt"), "a\n");
        m_dir->write(QStringLiteral("v2/notes.txt"), "b\n");
    }
    // Fills the dialog with the two folders and presses OK.
    void compare(const QString& oldFolder, const QString& newFolder)
    {
        m_dialogs->then([=](QDialog& dialog) {
            child<QLineEdit>(dialog, "Text1")->setText(oldFolder);
            child<QLineEdit>(dialog, "Text2")->setText(newFolder);
            child<QPushButton>(dialog, "Command3")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        });
        action(*m_window, "Mn_Diff")->trigger();
    }
    // The text of a PDF, one string per page, without blanks (text extraction spaces out wide
    // characters).
    static QStringList pdfPages(const QString& pdf)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return {};
        QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(u'\f');
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        for (QString& page : pages)
            page.remove(QRegularExpression(QStringLiteral("\\s")));
        return pages;
    }
    QStringList printToPdf(DiffResultWindow& result)
    {
        const QString pdf = m_dir->path(QStringLiteral("diff.pdf"));
        QFile::remove(pdf);
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("ok")})
            .expect(Kind::YesNo, kNoPrinter, {QStringLiteral("yes")})
            .expect(Kind::SaveFile, QStringLiteral("PDFファイルに保存"), {pdf});
        action(result, "Mn_FilePrint")->trigger();
        if (qEnvironmentVariableIsSet("TARVIK_KEEP_PDF"))
            QFile::copy(pdf, QString::fromLocal8Bit(qgetenv("TARVIK_KEEP_PDF")));
        return pdfPages(pdf);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_dialogs = std::make_unique<ScriptedDialogRunner>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dir->write(QStringLiteral("Tarvik.ini"), kIni);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setDialogRunner(*m_dialogs);
        m_window->setPrinterSource([] { return std::unique_ptr<QPrinter>(); }); // no printer here
        m_window->setFileDialogDirectory(m_dir->path());
        writeVersions();
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
        QVERIFY(m_dialogs->done());
    }

    void theFileMenuOpensTheDialogWhoseChoosersFillTheFields()
    {
        QAction* diff = action(*m_window, "Mn_Diff");
        QCOMPARE(diff->text(), QStringLiteral("差分解析"));
        QCOMPARE(diff->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
        QVERIFY(child<QMenu>(*m_window, "Mn_File")->actions().contains(diff));

        m_dialogs->then([&](QDialog& dialog) {
            QCOMPARE(dialog.objectName(), QStringLiteral("FormDiff"));
            QCOMPARE(child<QLabel>(dialog, "Label1")->text(), QStringLiteral("旧バージョン"));
            QCOMPARE(child<QLabel>(dialog, "Label2")->text(), QStringLiteral("新バージョン"));
            QCOMPARE(child<QPushButton>(dialog, "Command1")->text(), QStringLiteral("..."));
            m_prompter->expect(Kind::ChooseFolder, QStringLiteral("旧バージョンのディレクトリを開く"), {m_old});
            child<QPushButton>(dialog, "Command1")->click();
            QCOMPARE(m_prompter->lastDirectory, m_dir->path()); // an empty field starts in the default folder
            QCOMPARE(child<QLineEdit>(dialog, "Text1")->text(), m_old);
            m_prompter->expect(Kind::ChooseFolder, QStringLiteral("新バージョンのディレクトリを開く"), {m_new});
            child<QPushButton>(dialog, "Command2")->click();
            QCOMPARE(child<QLineEdit>(dialog, "Text2")->text(), m_new);
            // Choosing again starts from the field's folder; cancelling keeps it.
            m_prompter->expect(Kind::ChooseFolder, {}, {});
            child<QPushButton>(dialog, "Command2")->click();
            QCOMPARE(m_prompter->lastDirectory, m_new);
            QCOMPARE(child<QLineEdit>(dialog, "Text2")->text(), m_new);
            child<QPushButton>(dialog, "Command4")->click(); // キャンセル
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        });
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_M, Qt::ControlModifier);
        QVERIFY(m_dialogs->done());
        QVERIFY(resultWindows().isEmpty());
    }

    void okIsRefusedUntilBothFieldsNameFolders()
    {
        const QString file = m_dir->path(QStringLiteral("v1/a.c"));
        const QString missing = m_dir->path(QStringLiteral("v3"));
        m_dialogs->then([&](QDialog& dialog) {
            auto* ok = child<QPushButton>(dialog, "Command3");
            m_prompter->expect(Kind::Message, QStringLiteral("旧バージョンのディレクトリを指定して下さい"));
            ok->click();
            QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
            child<QLineEdit>(dialog, "Text1")->setText(m_old);
            m_prompter->expect(Kind::Message, QStringLiteral("新バージョンのディレクトリを指定して下さい"));
            ok->click();
            child<QLineEdit>(dialog, "Text2")->setText(missing);
            m_prompter->expect(Kind::Message, QStringLiteral("新バージョンのディレクトリが見つかりません：\n") + missing);
            ok->click();
            child<QLineEdit>(dialog, "Text1")->setText(file); // a file is not a folder
            m_prompter->expect(Kind::Message, QStringLiteral("旧バージョンのディレクトリが見つかりません：\n") + file);
            ok->click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            dialog.reject();
        });
        action(*m_window, "Mn_Diff")->trigger();
        QVERIFY(resultWindows().isEmpty());
    }

    // Files of types the search does not take are told in the status line, a path of both
    // versions once.
    void aComparisonSaysWhatItsSearchesPassedOver()
    {
        m_dir->write(QStringLiteral("v1/data.json"), "{}\n");
        m_dir->write(QStringLiteral("v2/data.json"), "{\"a\": 1}\n");
        m_dir->write(QStringLiteral("v2/Makefile"), "all:\n");
        compare(m_old, m_new);
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("5個のファイルを比較しました　未登録の種類のファイル 2 件は登録していません"));
    }

    // Esc during the comparison's work stops it: no result window opens.
    void aCancelledComparisonOpensNoWindow()
    {
        test::actDuringWork(*m_window, 2, [&] { QTest::keyClick(child<QListView>(*m_window, "List1"), Qt::Key_Escape); },
                            [&] { compare(m_old, m_new); });
        QVERIFY(resultWindows().isEmpty());
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("差分解析を中止しました"));
    }

    void aComparisonOpensItsOwnWindowWithColouredRowsAndTotals()
    {
        compare(m_old, m_new + u'/');
        QCOMPARE(resultWindows().size(), 1);
        DiffResultWindow& result = *resultWindows().first();
        QVERIFY(result.isVisible());
        QVERIFY(!result.isModal());
        QVERIFY(result.isWindow());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("5個のファイルを比較しました"));
        auto* progress = child<QProgressBar>(*m_window, "ProgressBar1");
        QCOMPARE(progress->maximum(), 5);
        QCOMPARE(progress->value(), 0);
        for (const char* name : {"MenuBar", "Mn_File", "Mn_CsvSave", "Mn_FilePrint", "Mn_Close", "DiffCentral", "LabelOld", "LabelNew",
                                 "DiffGrid"})
            QVERIFY2(result.findChild<QObject*>(QString::fromLatin1(name)), name);
        QCOMPARE(child<QLabel>(result, "LabelOld")->text(), QStringLiteral("旧バージョン：") + m_old);
        QCOMPARE(child<QLabel>(result, "LabelNew")->text(), QStringLiteral("新バージョン：") + m_new);
        QCOMPARE(child<QLabel>(result, "LabelSize")->text(),
                 QStringLiteral("改造規模 0.003 KStep　流用 2 ステップ（新規 1、削除 1、変更 2、変更なし 1 ファイル）"));
        // The same command has the same key in both windows; Ctrl+S is the log's.
        QCOMPARE(action(result, "Mn_CsvSave")->shortcut(), action(*m_window, "Mn_CsvSave")->shortcut());
        QVERIFY(!action(result, "Mn_CsvSave")->shortcut().isEmpty());
        QCOMPARE(action(*m_window, "Mn_FileSave")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

        DiffGridModel& grid = *result.grid();
        QCOMPARE(child<QTableView>(result, "DiffGrid")->model(), &grid);
        QCOMPARE(grid.rowCount(), 6);
        // a.c: "y = 2;" became "y = 3;" (changed) and "z = 4;" came (added).
        QCOMPARE(rowTexts(grid, 0), (QStringList{QStringLiteral("変更"), QStringLiteral("a.c"), QStringLiteral("2"),
                                                 QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("1"),
                                                 QStringLiteral("0"), QStringLiteral("1")}));
        QCOMPARE(rowTexts(grid, 1), (QStringList{QStringLiteral("変更なし"), QStringLiteral("b.c"), QStringLiteral("1"),
                                                 QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"),
                                                 QStringLiteral("0"), QStringLiteral("1")}));
        QCOMPARE(rowTexts(grid, 2), (QStringList{QStringLiteral("削除"), QStringLiteral("gone.c"), QStringLiteral("3"),
                                                 QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("0"),
                                                 QStringLiteral("3"), QStringLiteral("0")}));
        QCOMPARE(rowTexts(grid, 3), (QStringList{QStringLiteral("変更"), QStringLiteral("notes.txt"),
                                                 QStringLiteral("不明なファイル"), QString(), QString(), QString(), QString(),
                                                 QString()}));
        QCOMPARE(rowTexts(grid, 4), (QStringList{QStringLiteral("新規"), QStringLiteral("sub/n.c"), QStringLiteral("-"),
                                                 QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0"),
                                                 QStringLiteral("0"), QStringLiteral("0")}));
        // Old 2 + 1 + 3, new 3 + 1 + 1; added 1 + 1, changed 1, deleted 3; size (2 + 1) / 1000.
        QCOMPARE(rowTexts(grid, 5), (QStringList{QStringLiteral("合計"),
                                                 QStringLiteral("新規 1  削除 1  変更 2  変更なし 1    改造規模 0.003 KStep"),
                                                 QStringLiteral("6"), QStringLiteral("5"), QStringLiteral("2"),
                                                 QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2")}));
        QCOMPARE(child<QTableView>(result, "DiffGrid")->columnSpan(3, DiffGridModel::OldSteps), 6);

        QSet<QRgb> colours;
        for (int row : {0, 1, 2, 4, 5})
            colours.insert(qvariant_cast<QBrush>(grid.index(row, 0).data(Qt::BackgroundRole)).color().rgb());
        QCOMPARE(colours.size(), 5);

        // One window per comparison; closing one leaves the other.
        compare(m_new, m_old);
        QCOMPARE(resultWindows().size(), 2);
        DiffResultWindow* second = resultWindows().last();
        QCOMPARE(rowTexts(*second->grid(), 2).mid(0, 2), (QStringList{QStringLiteral("新規"), QStringLiteral("gone.c")}));
        QPointer<DiffResultWindow> closed(&result);
        action(result, "Mn_Close")->trigger();
        QTRY_VERIFY(closed.isNull());
        QCOMPARE(resultWindows(), QList<DiffResultWindow*>{second});
    }

    void theWindowsSearchAndCountSettingsApply()
    {
        m_dir->write(QStringLiteral("v1/s.c"), "g();\n");
        m_dir->write(QStringLiteral("v2/s.c"), "g();\n;\n"); // a symbol line more
        compare(m_old, m_new);
        QCOMPARE(resultWindows().first()->grid()->rowCount(), 7);
        QCOMPARE(rowTexts(*resultWindows().first()->grid(), 4),
                 (QStringList{QStringLiteral("変更"), QStringLiteral("s.c"), QStringLiteral("1"), QStringLiteral("2"),
                              QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")}));

        action(*m_window, "Mn_Kigou")->trigger();       // symbol lines not counted
        action(*m_window, "Mn_Serch_Sub_0")->trigger(); // no subdirectories
        action(*m_window, "Mn_Serch_Sub_2")->trigger(); // text files not searched
        compare(m_old, m_new);
        const DiffGridModel& grid = *resultWindows().last()->grid();
        QStringList files;
        for (int row = 0; row + 1 < grid.rowCount(); ++row)
            files << grid.cellText(row, DiffGridModel::File);
        QCOMPARE(files, (QStringList{QStringLiteral("a.c"), QStringLiteral("b.c"), QStringLiteral("gone.c"),
                                     QStringLiteral("s.c")}));
        QCOMPARE(rowTexts(grid, 3).mid(0, 4), (QStringList{QStringLiteral("変更なし"), QStringLiteral("s.c"),
                                                           QStringLiteral("1"), QStringLiteral("1")}));
    }

    // The second source: a repository and two of its revisions, offered newest first; the result
    // is the folders' result for the same files.
    void twoRevisionsOfARepositoryCompareAsTheirFolders()
    {
        const QString repo = m_dir->mkdir(QStringLiteral("repo"));
        auto git = [&](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(repo);
            p.start(QStringLiteral("git"), QStringList{QStringLiteral("-c"), QStringLiteral("user.name=t"), QStringLiteral("-c"),
                                                       QStringLiteral("user.email=t@example.org")} + args);
            QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
        };
        git({QStringLiteral("init"), QStringLiteral("-q")});
        int day = 1;
        for (const QString& version : {m_old, m_new}) {
            // A day apart, so that "newest first" has one answer.
            qputenv("GIT_COMMITTER_DATE", QByteArray("2026-01-0") + QByteArray::number(day++) + "T12:00:00");
            QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("rm -rf '%1'/* && cp -r '%2'/. '%1'").arg(repo, version)});
            git({QStringLiteral("add"), QStringLiteral("-A")});
            git({QStringLiteral("commit"), QStringLiteral("-qm"), version.section(u'/', -1)});
            git({QStringLiteral("tag"), version.section(u'/', -1)});
        }
        qunsetenv("GIT_COMMITTER_DATE");
        compare(m_old, m_new);
        m_dialogs->then([&](QDialog& dialog) {
            child<QRadioButton>(dialog, "Option2")->click();
            QVERIFY(!child<QLineEdit>(dialog, "Text1")->isEnabled());
            m_prompter->expect(Kind::ChooseFolder, QStringLiteral("リポジトリのディレクトリを開く"), {repo});
            child<QPushButton>(dialog, "Command5")->click();
            auto* oldRevision = child<QComboBox>(dialog, "Combo1");
            QCOMPARE(oldRevision->count(), 3); // both tags, then the branch
            QCOMPARE(oldRevision->currentText(), QStringLiteral("v1"));
            QCOMPARE(child<QComboBox>(dialog, "Combo2")->currentText(), QStringLiteral("v2"));
            oldRevision->setCurrentText(QStringLiteral("v0"));
            m_prompter->expect(Kind::Message, QStringLiteral("旧バージョンのリビジョンが見つかりません：\nv0"));
            child<QPushButton>(dialog, "Command3")->click();
            oldRevision->setCurrentText(QStringLiteral("v2~1")); // any revision git reads, v1 here
            child<QPushButton>(dialog, "Command3")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        });
        action(*m_window, "Mn_Diff")->trigger();
        QCOMPARE(resultWindows().size(), 2);
        const DiffGridModel& folders = *resultWindows().first()->grid();
        const DiffGridModel& revisions = *resultWindows().last()->grid();
        QCOMPARE(revisions.rowCount(), folders.rowCount());
        for (int row = 0; row < folders.rowCount(); ++row)
            QCOMPARE(rowTexts(revisions, row), rowTexts(folders, row));
        QCOMPARE(child<QLabel>(*resultWindows().last(), "LabelNew")->text(), QStringLiteral("新バージョン：") + repo + QStringLiteral("  v2"));

        // Next time (after a restart too) the dialog offers the same again, the folders kept
        // from their own last use.
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setDialogRunner(*m_dialogs);
        m_dialogs->then([&](QDialog& dialog) {
            QVERIFY(child<QRadioButton>(dialog, "Option2")->isChecked());
            QCOMPARE(child<QLineEdit>(dialog, "Text3")->text(), repo);
            QCOMPARE(child<QComboBox>(dialog, "Combo1")->currentText(), QStringLiteral("v2~1"));
            QCOMPARE(child<QComboBox>(dialog, "Combo2")->currentText(), QStringLiteral("v2"));
            QCOMPARE(child<QComboBox>(dialog, "Combo2")->count(), 3);
            QCOMPARE(child<QLineEdit>(dialog, "Text1")->text(), m_old);
            QCOMPARE(child<QLineEdit>(dialog, "Text2")->text(), m_new);
            dialog.reject();
        });
        action(*m_window, "Mn_Diff")->trigger();
    }

    // Ann writes v1; Bob adds a line to a.c and deletes gone.c, Carol adds c.c: v2. The 作者別
    // tab reads who wrote the added and changed steps, and the workbook gets its sheet.
    void twoRevisionsTellTheirStepsByAuthor()
    {
        const QString repo = m_dir->mkdir(QStringLiteral("repo"));
        auto commit = [&](const QString& who, const QString& tag) {
            for (const QStringList& args : {QStringList{QStringLiteral("add"), QStringLiteral("-A")},
                                            QStringList{QStringLiteral("-c"), QStringLiteral("user.name=") + who, QStringLiteral("-c"),
                                                        QStringLiteral("user.email=") + who.toLower() + QStringLiteral("@example.org"),
                                                        QStringLiteral("commit"), QStringLiteral("-qm"), who},
                                            QStringList{QStringLiteral("tag"), tag}}) {
                if (tag.isEmpty() && args.first() == u"tag")
                    continue;
                QProcess p;
                p.setWorkingDirectory(repo);
                p.start(QStringLiteral("git"), args);
                QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
            }
        };
        QVERIFY(QProcess::execute(QStringLiteral("git"), {QStringLiteral("init"), QStringLiteral("-q"), repo}) == 0);
        m_dir->write(QStringLiteral("repo/a.c"), "a1();\na2();\n");
        m_dir->write(QStringLiteral("repo/gone.c"), "g();\n");
        commit(QStringLiteral("Ann"), QStringLiteral("v1"));
        m_dir->write(QStringLiteral("repo/a.c"), "a1();\na2(1);\na3();\n");
        QFile::remove(m_dir->path(QStringLiteral("repo/gone.c")));
        commit(QStringLiteral("Bob"), QString());
        m_dir->write(QStringLiteral("repo/c.c"), "c1();\nc2();\nc3();\n");
        commit(QStringLiteral("Carol"), QStringLiteral("v2"));

        m_dialogs->then([&](QDialog& dialog) {
            child<QRadioButton>(dialog, "Option2")->click();
            m_prompter->expect(Kind::ChooseFolder, QStringLiteral("リポジトリのディレクトリを開く"), {repo});
            child<QPushButton>(dialog, "Command5")->click();
            QCOMPARE(child<QComboBox>(dialog, "Combo1")->currentText(), QStringLiteral("v1"));
            child<QPushButton>(dialog, "Command3")->click();
        });
        action(*m_window, "Mn_Diff")->trigger();
        DiffResultWindow& result = *resultWindows().first();
        QTabWidget* tabs = child<QTabWidget>(result, "DiffTabs");
        QCOMPARE(tabs->tabText(1), QStringLiteral("作者別"));
        QVERIFY(!result.authorTable()); // read when asked for
        child<QPushButton>(result, "CommandAuthors")->click();
        QCOMPARE(tabs->currentIndex(), 1);
        const QTableWidget* table = child<QTableWidget>(result, "AuthorsTable");
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            rows << cells.join(u',');
        }
        QCOMPARE(rows, (QStringList{QStringLiteral("Carol <carol@example.org>,3,0,0,3,0.003"),
                                    QStringLiteral("Bob <bob@example.org>,1,1,0,2,0.002"),
                                    QStringLiteral("（削除）,0,0,1,0,0.000"), QStringLiteral("合計,4,1,1,5,0.005")}));
        QCOMPARE(result.grid()->totals().modifiedSteps(), 5);
        const QChart* chart = child<QChartView>(result, "AuthorsChart")->chart();
        QCOMPARE(chart->title(), QStringLiteral("作者別の改造規模"));
        const auto* bars = qobject_cast<const QAbstractBarSeries*>(chart->series().value(0));
        QVERIFY(bars && bars->barSets().size() == 1);
        QCOMPARE(bars->barSets()[0]->at(0) + bars->barSets()[0]->at(1), 5.0); // Bob's and Carol's bars
        // Names with addresses are shown whole, not taken for rich text's tags.
        QCOMPARE(qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).value(0))->categories().last(),
                 QStringLiteral("Carol &lt;carol@example.org&gt;"));

        const QString book = m_dir->path(QStringLiteral("authors.xlsx"));
        m_prompter->expect(Kind::SaveFile, QStringLiteral("Excel形式で保存"), {book});
        action(result, "Mn_excel")->trigger();
        const QJsonArray sheet = test::readSheet(book, QStringLiteral("作者別"))[QStringLiteral("rows")].toArray();
        QCOMPARE(sheet.size(), 5); // the header and the four rows
        QCOMPARE(sheet[1].toArray()[0][QStringLiteral("v")].toString(), QStringLiteral("Carol <carol@example.org>"));
        QCOMPARE(sheet[4].toArray()[4][QStringLiteral("v")].toDouble(), 5.0);
    }

    void theCsvFileIsTheCommandLinesCsvAfterAByteOrderMark()
    {
        compare(m_old, m_new);
        DiffResultWindow& result = *resultWindows().first();
        const QString csv = m_dir->path(QStringLiteral("diff.csv"));
        m_prompter->expect(Kind::SaveFile, QStringLiteral("CSV形式で保存"), {csv});
        action(result, "Mn_CsvSave")->trigger();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("CSVファイル (*.csv)"));

        QProcess cli;
        cli.start(QStringLiteral(TARVIK_BINARY_DIR "/tarvik-count"),
                  {QStringLiteral("-s"), m_dir->path(QStringLiteral("Tarvik.ini")), QStringLiteral("--diff"),
                   QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--bom"), m_old, m_new});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QByteArray expected = cli.readAllStandardOutput();
        QCOMPARE(expected.count("\r\n"), 6); // header and five files
        QCOMPARE(m_dir->read(QStringLiteral("diff.csv")), expected);

        // A file that cannot be written is named with the reason; cancelling does nothing.
        const QString bad = m_dir->path(QStringLiteral("no/such/folder/diff.csv"));
        m_prompter->expect(Kind::SaveFile, {}, {bad}).expect(Kind::Message, {});
        action(result, "Mn_CsvSave")->trigger();
        QVERIFY(m_prompter->messages.last().startsWith(QStringLiteral("CSVファイルを保存できませんでした。\n") + bad + u'\n'));
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        m_prompter->expect(Kind::SaveFile, {}, {});
        action(result, "Mn_CsvSave")->trigger();
    }

    void theWorkbookHoldsTheCsvRowsAndTheModificationSize()
    {
        compare(m_old, m_new);
        DiffResultWindow& result = *resultWindows().first();
        QMenu* file = result.findChild<QMenu*>(QStringLiteral("Mn_File"));
        QCOMPARE(file->actions().indexOf(action(result, "Mn_excel")), file->actions().indexOf(action(result, "Mn_CsvSave")) + 1);
        const QString csv = m_dir->path(QStringLiteral("diff.csv"));
        const QString book = m_dir->path(QStringLiteral("diff.xlsx"));
        m_prompter->expect(Kind::SaveFile, QStringLiteral("CSV形式で保存"), {csv})
            .expect(Kind::SaveFile, QStringLiteral("Excel形式で保存"), {book});
        action(result, "Mn_CsvSave")->trigger();
        action(result, "Mn_excel")->trigger();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("Excel ファイル (*.xlsx)"));

        const QJsonObject sheet = test::readSheet(book, QStringLiteral("差分"));
        QCOMPARE(test::differenceFromCsv(sheet, QString::fromUtf8(m_dir->read(QStringLiteral("diff.csv")).mid(3)), test::windowWords()), QString());
        const QJsonArray totals = sheet[QStringLiteral("rows")].toArray().last().toArray();
        QCOMPARE(totals[1][QStringLiteral("v")].toDouble(), result.grid()->totals().modifiedSteps() / 1000.0);
        for (const QString& title : {QStringLiteral("種類別"), QStringLiteral("フォルダ別")})
            QVERIFY2(!test::readSheet(book, title)[QStringLiteral("rows")].toArray().isEmpty(), qPrintable(title));
    }

    void printingGivesTheDiffPagesWithTheMainPrintsRules()
    {
        compare(m_old, m_new);
        DiffResultWindow& result = *resultWindows().first();
        QStringList pages = printToPdf(result);
        QCOMPARE(pages.size(), 1);
        const QString heading = QStringLiteral("差分解析結果状態旧新追加変更削除ファイル");
        QVERIFY(pages[0].startsWith(heading));
        const QString rows = QStringLiteral("変更23110a.c") + QStringLiteral("変更なし11000b.c")
                             + QStringLiteral("削除3-003gone.c") + QStringLiteral("変更不明なファイルnotes.txt")
                             + QStringLiteral("新規-1100sub/n.c") + QStringLiteral("合計65213改造規模0.003KStep")
                             + StatusMessage::todayText().remove(u' ') + QStringLiteral("新規1削除1変更2変更なし1");
        QCOMPARE(pages[0], heading + rows);

        // Declining the question prints nothing.
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("cancel")});
        action(result, "Mn_FilePrint")->trigger();

        // 39 files and the two totals lines: the last line goes to a second page with its heading.
        for (int i = 0; i < 34; ++i)
            m_dir->write(QStringLiteral("v2/more/f%1.c").arg(i, 2, 10, QChar(u'0')), "x;\n");
        compare(m_old, m_new);
        pages = printToPdf(*resultWindows().last());
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].startsWith(heading));
        QVERIFY(pages[0].contains(QStringLiteral("新規-1100more/f33.c")));
        QVERIFY(pages[0].endsWith(QStringLiteral("KStep") + StatusMessage::todayText().remove(u' ')));
        QCOMPARE(pages[1], heading + QStringLiteral("新規35削除1変更2変更なし1"));
    }

    void anUnreadableFileEndsTheComparisonWithTheRunsError()
    {
        // A link to a file whose reading fails: it exists, so it is not a missing file.
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), m_dir->path(QStringLiteral("v2/mem.c"))));
        m_prompter->expect(Kind::Message, QStringLiteral("予期せぬエラーが発生しました！！"));
        compare(m_old, m_new);
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        QVERIFY(resultWindows().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The window takes commands again.
        QFile::remove(m_dir->path(QStringLiteral("v2/mem.c")));
        compare(m_old, m_new);
        QCOMPARE(resultWindows().size(), 1);
    }

    void directoriesThatCannotBeListedAreReportedAsTheDirectoryCommandDoes()
    {
        const QString locked = m_dir->mkdir(QStringLiteral("v2/locked"));
        m_dir->write(QStringLiteral("v2/locked/x.c"), "x;\n");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        m_prompter->expect(Kind::Message, {});
        // Root reads any folder: the comparison runs under an ordinary user id, so the bits hold.
        const bool root = ::geteuid() == 0;
        if (root)
            QVERIFY(::setegid(65534) == 0 && ::seteuid(65534) == 0);
        compare(m_old, m_new);
        if (root)
            QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(m_prompter->messages.last().startsWith(
            QStringLiteral("次のディレクトリは読み取れないため検索しませんでした：\n") + locked + QStringLiteral("  (")));
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        // The rest is compared.
        QCOMPARE(resultWindows().size(), 1);
        QCOMPARE(resultWindows().first()->grid()->rowCount(), 6);
    }
};

QTEST_MAIN(DiffWindowTest)
#include "DiffWindowTest.moc"
