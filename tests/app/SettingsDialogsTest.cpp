// The settings menu, the basic settings dialog and the file-type editor, on a real settings file.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "config/ExcludeSettings.h"
#include "config/FileTypeEditor.h"
#include "output/ResultGridModel.h"

#include "support/RecordingLauncher.h"
#include "support/ScriptedDialogRunner.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedDialogRunner;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kIni = "[DIR]\r\nDef_Dir=/old\r\n[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n"
                        "[Engin]\r\nList=c,cpp,cs\r\nAnr_Eng=C_STYLE,HASH\r\nLang_c=C_STYLE,C,1\r\n"
                        "Lang_cpp=C_STYLE,C++,1\r\nLang_cs=C_STYLE,C#,0\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#,,\r\n[FTP_Server]\r\nFTP_List=\r\n";

using tarvik::test::child;

QStringList gridRow(QDialog& form2, int row)
{
    auto* grid = child<QTableWidget>(form2, "MSFlexGrid1");
    QStringList cells;
    for (int c = 0; c < 3; ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells;
}

void click(QDialog& dialog, const char* button) { child<QPushButton>(dialog, button)->click(); }

} // namespace

class SettingsDialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<ScriptedDialogRunner> m_dialogs;
    std::unique_ptr<MainWindow> m_window;

    void open(const QByteArray& ini = kIni)
    {
        m_dir->write(QStringLiteral("Tarvik.ini"), ini);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setDialogRunner(*m_dialogs);
    }
    QString read(const char* section, const QString& key)
    {
        return SettingsStore(m_dir->path(QStringLiteral("Tarvik.ini"))).read(QString::fromLatin1(section), key);
    }
    QStringList menuItems(bool checkedOnly = false)
    {
        QStringList items;
        for (QAction* a : m_window->findChild<QMenu*>(QStringLiteral("Mn_Serch"))->actions()) {
            if (a->objectName() != u"Mn_Serch_Sub_0" && (!checkedOnly || a->isChecked()))
                items << a->text();
        }
        return items;
    }
    QAction* action(const char* name) { return m_window->findChild<QAction*>(QString::fromLatin1(name)); }
    void basicSettings() { action("Mn_Kihon")->trigger(); }
    void selectRows(QDialog& form2, int cursor, int otherEnd)
    {
        auto* grid = child<QTableWidget>(form2, "MSFlexGrid1");
        grid->setCurrentCell(cursor, 0);
        grid->setRangeSelected(QTableWidgetSelectionRange(std::min(cursor, otherEnd), 0, std::max(cursor, otherEnd), 2),
                               true);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dialogs = std::make_unique<ScriptedDialogRunner>();
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
        QVERIFY(m_dialogs->done());
    }

    void addingAWideCapitalExtensionWithTheSecondEngine()
    {
        open();
        m_dialogs
            ->then([&](QDialog& form2) {
                QCOMPARE(form2.objectName(), QStringLiteral("Form2"));
                QCOMPARE(gridRow(form2, 2), (QStringList{QStringLiteral("cs"), QStringLiteral("C#"), QStringLiteral("C_STYLE")}));
                QCOMPARE(child<QLineEdit>(form2, "Text1")->text(), QStringLiteral("/old"));
                click(form2, "Command1");
                QCOMPARE(gridRow(form2, 3), (QStringList{QStringLiteral("py"), QStringLiteral("Python"), QStringLiteral("HASH")}));
                form2.reject(); // the close box: nothing more is written
            })
            .then([&](QDialog& form3) {
                QCOMPARE(form3.objectName(), QStringLiteral("Form3"));
                auto* ok = child<QPushButton>(form3, "Command1");
                QVERIFY(child<QPushButton>(form3, "Command2")->isHidden());
                QVERIFY(!ok->isEnabled());
                QCOMPARE(child<QComboBox>(form3, "Combo1")->currentText(), QStringLiteral("C_STYLE"));
                child<QLineEdit>(form3, "Text1")->setText(QStringLiteral("ＰＹ"));
                QVERIFY(!ok->isEnabled());
                child<QLineEdit>(form3, "Text2")->setText(QStringLiteral("Python"));
                QVERIFY(ok->isEnabled());
                child<QComboBox>(form3, "Combo1")->setCurrentIndex(1);
                ok->click();
                QCOMPARE(form3.result(), int(QDialog::Accepted));
            });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("c,cpp,cs,py"));
        QVERIFY(m_dir->read(QStringLiteral("Tarvik.ini")).contains("Lang_cs=C_STYLE,C#,0\r\nLang_py=HASH,Python,1\r\n[Anryze_Pat]"));
        QCOMPARE(menuItems(true), (QStringList{QStringLiteral("c"), QStringLiteral("cpp"), QStringLiteral("py")}));
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QStringLiteral("/old"));
    }

    void changingAOneLetterExtensionLeavesLongerOnesAlone()
    {
        open();
        m_dialogs
            ->then([&](QDialog& form2) {
                auto* grid = child<QTableWidget>(form2, "MSFlexGrid1");
                grid->setCurrentCell(0, 1);
                emit grid->cellDoubleClicked(0, 1);
                QCOMPARE(gridRow(form2, 0), (QStringList{QStringLiteral("h"), QStringLiteral("ヘッダ"), QStringLiteral("C_STYLE")}));
                // The flag of a changed entry is "1" again.
                selectRows(form2, 2, 2);
                click(form2, "Command2");
                click(form2, "Command3");
            })
            .then([&](QDialog& form3) {
                QVERIFY(child<QPushButton>(form3, "Command1")->isHidden());
                QCOMPARE(child<QLineEdit>(form3, "Text1")->text(), QStringLiteral("c"));
                child<QLineEdit>(form3, "Text1")->clear();
                QVERIFY(!child<QPushButton>(form3, "Command2")->isEnabled());
                child<QLineEdit>(form3, "Text1")->setText(QStringLiteral("h"));
                child<QLineEdit>(form3, "Text2")->setText(QStringLiteral("ヘッダ"));
                click(form3, "Command2");
            })
            .then([&](QDialog& form3) {
                QCOMPARE(child<QLineEdit>(form3, "Text1")->text(), QStringLiteral("cs"));
                click(form3, "Command2");
            });
        QVERIFY(!menuItems(true).contains(QStringLiteral("cs")));
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("h,cpp,cs"));
        QCOMPARE(read("Engin", QStringLiteral("Lang_cs")), QStringLiteral("C_STYLE,C#,1"));
        QVERIFY(menuItems(true).contains(QStringLiteral("cs")));
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QStringLiteral("/old")); // 終了 writes it back as shown
    }

    void deletingEveryRowStopsAtTheLastFileType()
    {
        open();
        m_prompter->expect(Kind::Message, QStringLiteral("すべての解析を無効にする事はできません！"));
        m_dialogs->then([&](QDialog& form2) {
            selectRows(form2, 0, 2);
            click(form2, "Command4");
            QCOMPARE(gridRow(form2, 0).first(), QStringLiteral("c"));
            QCOMPARE(child<QTableWidget>(form2, "MSFlexGrid1")->rowCount(), 1);
            form2.reject();
        });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("c"));
        QCOMPARE(read("Engin", QStringLiteral("Lang_cs")), QString());
        QCOMPARE(menuItems(), QStringList{QStringLiteral("c")});

        // With one file type left the refusal comes at once.
        m_prompter->expect(Kind::Message, QStringLiteral("すべての解析を無効にする事はできません！"));
        m_dialogs->then([&](QDialog& form2) {
            selectRows(form2, 0, 0);
            click(form2, "Command4");
            form2.reject();
        });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("c"));
    }

    void deletingTakesExactlyTheRowsShownAsSelected()
    {
        open();
        // Ctrl+A with the cursor on the middle row: all three are selected, the bottom two go, the
        // top one stays with the refusal.
        m_prompter->expect(Kind::Message, QStringLiteral("すべての解析を無効にする事はできません！"));
        m_dialogs->then([&](QDialog& form2) {
            auto* grid = child<QTableWidget>(form2, "MSFlexGrid1");
            grid->setCurrentCell(1, 0);
            QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(grid->selectionModel()->selectedRows().size(), 3);
            click(form2, "Command4");
            QCOMPARE(grid->rowCount(), 1);
            QCOMPARE(gridRow(form2, 0).first(), QStringLiteral("c"));
            form2.reject();
        });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("c"));
    }

    void theDialogOpensWideEnoughForItsThreeColumns()
    {
        open();
        m_dialogs->then([&](QDialog& form2) {
            form2.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form2));
            auto* grid = child<QTableWidget>(form2, "MSFlexGrid1");
            QVERIFY2(grid->horizontalHeader()->length() <= grid->viewport()->width(),
                     qPrintable(QStringLiteral("%1 > %2").arg(grid->horizontalHeader()->length()).arg(grid->viewport()->width())));
            form2.reject();
        });
        basicSettings();
    }

    void aHandEditedCaseDifferentEntryStaysOnDelete()
    {
        QByteArray ini = kIni;
        ini.replace("Lang_c=C_STYLE,C,1", "Lang_C=ODD,手書き,1");
        open(ini);
        m_dialogs->then([&](QDialog& form2) {
            QCOMPARE(gridRow(form2, 0), (QStringList{QStringLiteral("c"), QStringLiteral("手書き"), QStringLiteral("ODD")}));
            selectRows(form2, 0, 0);
            click(form2, "Command2"); // ODD is no engine of Anr_Eng: the first one is offered
            selectRows(form2, 0, 0);
            click(form2, "Command4");
            form2.reject();
        }).then([&](QDialog& form3) {
            QCOMPARE(child<QComboBox>(form3, "Combo1")->currentIndex(), 0);
            form3.reject();
        });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("cpp,cs"));
        QVERIFY(m_dir->read(QStringLiteral("Tarvik.ini")).contains("Lang_C=ODD,手書き,1\r\n"));
    }

    void refusedInputKeepsTheEditorOpen()
    {
        QByteArray ini = kIni;
        ini.replace("Anr_Eng=C_STYLE,HASH", "Anr_Eng=");
        open(ini);
        m_dialogs->then([&](QDialog& form2) {
            click(form2, "Command1");
            form2.reject();
        }).then([&](QDialog& form3) {
            // Without engines nothing can be stored.
            child<QLineEdit>(form3, "Text1")->setText(QStringLiteral("go"));
            child<QLineEdit>(form3, "Text2")->setText(QStringLiteral("Go"));
            QVERIFY(!child<QPushButton>(form3, "Command1")->isEnabled());
            form3.reject();
        });
        basicSettings();

        open();
        m_prompter->expect(Kind::Message, QStringLiteral("ソース種別と拡張子に「,」(カンマ)は使えません。"));
        m_dialogs->then([&](QDialog& form2) {
            click(form2, "Command1");
            form2.reject();
        }).then([&](QDialog& form3) {
            child<QLineEdit>(form3, "Text1")->setText(QStringLiteral("go"));
            child<QLineEdit>(form3, "Text2")->setText(QStringLiteral("Go, Golang"));
            click(form3, "Command1");
            QCOMPARE(form3.result(), int(QDialog::Rejected)); // still open for a correction
        });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("List")), QStringLiteral("c,cpp,cs"));
    }

    void defaultDirectoryIsStoredByCloseButtonOnly()
    {
        open();
        m_prompter->expect(Kind::ChooseFolder, {}, {QStringLiteral("/srv/new")});
        m_dialogs->then([&](QDialog& form2) {
            click(form2, "Command5");
            QCOMPARE(child<QLineEdit>(form2, "Text1")->text(), QStringLiteral("/srv/new"));
            form2.reject();
        });
        basicSettings();
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QStringLiteral("/old"));

        m_prompter->expect(Kind::ChooseFolder, {}, {QStringLiteral("/srv/new")});
        m_dialogs->then([&](QDialog& form2) {
            click(form2, "Command5");
            click(form2, "Command3");
        });
        basicSettings();
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QStringLiteral("/srv/new"));
        QCOMPARE(m_window->fileDialogDirectory(), QStringLiteral("/srv/new"));

        // An emptied box is stored empty, and the program's folder is used.
        m_dialogs->then([&](QDialog& form2) {
            child<QLineEdit>(form2, "Text1")->clear();
            click(form2, "Command3");
        });
        basicSettings();
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QString());
        QVERIFY(m_dir->read(QStringLiteral("Tarvik.ini")).contains("Def_Dir=\r\n"));
        QCOMPARE(m_window->fileDialogDirectory(), QCoreApplication::applicationDirPath());
    }

    void togglesAreStoredAndSurviveARebuild()
    {
        open();
        action("Mn_Kigou")->trigger();
        QCOMPARE(read("Mode", QStringLiteral("Count_Mode")), QStringLiteral("0"));
        action("Mn_Serch_Sub_0")->trigger();
        QCOMPARE(read("Mode", QStringLiteral("Serch_Mode")), QStringLiteral("0"));
        action("Mn_Kigou")->trigger();
        QCOMPARE(read("Mode", QStringLiteral("Count_Mode")), QStringLiteral("1"));
        action("Mn_Serch_Sub_3")->trigger(); // cs: 0 -> 1
        QCOMPARE(read("Engin", QStringLiteral("Lang_cs")), QStringLiteral("C_STYLE,C#,1"));
        action("Mn_Serch_Sub_1")->trigger(); // c: 1 -> 0
        QCOMPARE(read("Engin", QStringLiteral("Lang_c")), QStringLiteral("C_STYLE,C,0"));
        m_window->BuildFileTypeMenu();
        QCOMPARE(menuItems(true), (QStringList{QStringLiteral("cpp"), QStringLiteral("cs")}));
        QVERIFY(!action("Mn_Serch_Sub_0")->isChecked()); // item 0 is not touched by a rebuild
    }

    void aTypeSwitchedOffIsSkippedByTheWalkButListedFilesStillCount()
    {
        open();
        const QString listed = m_dir->write(QStringLiteral("tree/listed.c"), "x;\n");
        m_dir->write(QStringLiteral("tree/other.c"), "y;\n");
        m_dir->write(QStringLiteral("tree/more.cpp"), "z;\n");
        QVERIFY(test::dropFiles(*m_window, {listed}));

        action("Mn_Serch_Sub_1")->trigger(); // c off
        m_prompter->expect(Kind::ChooseFolder, {}, {m_dir->path(QStringLiteral("tree"))}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        QCOMPARE(m_window->analysisList()->entries(), (QStringList{listed, m_dir->path(QStringLiteral("tree/more.cpp"))}));
        action("Mn_kaiseki")->trigger();
        QCOMPARE(m_window->resultGrid()->cellText(0, 2), QStringLiteral("1"));
    }

    void exclusionPatternsAreEditedInBasicSettingsAndLeaveFolderSearchesOut()
    {
        open();
        const QString tree = m_dir->path(QStringLiteral("tree"));
        for (const char* name : {"tree/a.c", "tree/gen/b.c", "tree/sub/c.c", "tree/sub/c_test.c"})
            m_dir->write(QString::fromLatin1(name), "x;\n");
        const QString typed = QStringLiteral("# made by the build\ngen/\n/\n");
        m_prompter->expect(Kind::Message, QStringLiteral("除外パターン「/」に一致するパスはありません。"));
        m_dialogs->then([&](QDialog& form2) {
            auto* box = child<QPlainTextEdit>(form2, "Text2");
            QCOMPARE(box->toPlainText(), QString());
            box->setPlainText(typed);
            click(form2, "Command3"); // refused: the dialog stays, nothing is stored
            QCOMPARE(box->toPlainText(), typed);
            QCOMPARE(readExcludePatterns(m_dir->path(QStringLiteral("Tarvik.ini"))), QStringList());
            box->setPlainText(QStringLiteral("# made by the build\ngen/\n\n*_test.c\n"));
            click(form2, "Command3");
        });
        basicSettings();
        QCOMPARE(readExcludePatterns(m_dir->path(QStringLiteral("Tarvik.ini"))),
                 (QStringList{QStringLiteral("# made by the build"), QStringLiteral("gen/"), QStringLiteral("*_test.c")}));
        QCOMPARE(read("DIR", QStringLiteral("Def_Dir")), QStringLiteral("/old")); // the other settings stay

        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        QCOMPARE(m_window->analysisList()->entries(), (QStringList{tree + QStringLiteral("/a.c"), tree + QStringLiteral("/sub/c.c")}));

        m_dialogs->then([&](QDialog& form2) {
            QCOMPARE(child<QPlainTextEdit>(form2, "Text2")->toPlainText(),
                     QStringLiteral("# made by the build\ngen/\n*_test.c\n"));
            child<QPlainTextEdit>(form2, "Text2")->clear();
            click(form2, "Command3");
        });
        basicSettings();
        QVERIFY(!m_dir->read(QStringLiteral("Tarvik.ini")).contains("Exclude"));
    }

    void engineRulesAreEditedSavedAndReadBack()
    {
        open();
        const QByteArray before = m_dir->read(QStringLiteral("Tarvik.ini"));
        const QString file = m_dir->write(QStringLiteral("escaped.c"), "s = \"a\\\"b /*\";\nx = 1;\n");
        QVERIFY(test::dropFiles(*m_window, {file}));
        action("Mn_kaiseki")->trigger();
        QCOMPARE(m_window->resultGrid()->cellText(0, 2), QStringLiteral("1")); // no escape: a comment opens
        QCOMPARE(m_window->resultGrid()->cellText(0, 3), QStringLiteral("1"));

        // Shown and confirmed unchanged: nothing is written.
        m_dialogs
            ->then([&](QDialog& form2) {
                selectRows(form2, 1, 1);
                click(form2, "Command6");
                form2.reject();
            })
            .then([&](QDialog& rules) {
                QCOMPARE(rules.objectName(), QStringLiteral("FormRule"));
                QCOMPARE(child<QComboBox>(rules, "Combo1")->currentText(), QStringLiteral("C_STYLE"));
                QCOMPARE(child<QLabel>(rules, "Label3")->text(), QStringLiteral("行コメント //　ブロックコメント /* */"));
                QCOMPARE(child<QLineEdit>(rules, "Text4")->text(), QString());
                click(rules, "Command1");
                QCOMPARE(rules.result(), int(QDialog::Accepted));
            });
        basicSettings();
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), before);

        // Two engines edited in one visit, stored together.
        m_dialogs
            ->then([&](QDialog& form2) {
                click(form2, "Command6");
                form2.reject();
            })
            .then([&](QDialog& rules) {
                auto* engine = child<QComboBox>(rules, "Combo1");
                engine->setCurrentIndex(1);
                QCOMPARE(child<QLabel>(rules, "Label3")->text(), QStringLiteral("行コメント #　ブロックコメント なし なし"));
                child<QLineEdit>(rules, "Text5")->setText(QStringLiteral("\"\"\", '''"));
                child<QCheckBox>(rules, "Check2")->setChecked(true);
                engine->setCurrentIndex(0);
                QCOMPARE(child<QLineEdit>(rules, "Text5")->text(), QString());
                child<QLineEdit>(rules, "Text4")->setText(QStringLiteral("\\"));
                engine->setCurrentIndex(1); // what was typed for HASH is still there
                QCOMPARE(child<QLineEdit>(rules, "Text5")->text(), QStringLiteral("\"\"\", '''"));
                QVERIFY(child<QCheckBox>(rules, "Check2")->isChecked());
                click(rules, "Command1");
            });
        basicSettings();
        QByteArray expected = before;
        expected += "[Anryze_Rule]\r\nC_STYLE.Escape=\\\r\nHASH.Multiline=\"\"\",'''\r\nHASH.Docstring=1\r\n";
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), expected);
        action("Mn_kaiseki")->trigger();
        QCOMPARE(m_window->resultGrid()->cellText(0, 2), QStringLiteral("2")); // the escaped quote keeps the string open
        QCOMPARE(m_window->resultGrid()->cellText(0, 3), QStringLiteral("0"));

        // Read back; a malformed rule keeps the dialog open; all cleared, the file is as before.
        m_prompter->expect(Kind::Message,
                           QStringLiteral("解析エンジン「HASH」: ブロックコメント「(*」は、開始と終了を空白で区切って書いてください。"));
        m_dialogs
            ->then([&](QDialog& form2) {
                selectRows(form2, 0, 0);
                click(form2, "Command6");
                form2.reject();
            })
            .then([&](QDialog& rules) {
                QCOMPARE(child<QLineEdit>(rules, "Text4")->text(), QStringLiteral("\\"));
                child<QLineEdit>(rules, "Text4")->clear();
                auto* engine = child<QComboBox>(rules, "Combo1");
                engine->setCurrentIndex(1);
                QCOMPARE(child<QLineEdit>(rules, "Text5")->text(), QStringLiteral("\"\"\",'''"));
                QVERIFY(child<QCheckBox>(rules, "Check2")->isChecked());
                child<QLineEdit>(rules, "Text3")->setText(QStringLiteral("(*"));
                engine->setCurrentIndex(0);
                click(rules, "Command1");
                QCOMPARE(rules.result(), int(QDialog::Rejected)); // still open, on the engine to correct
                QCOMPARE(engine->currentText(), QStringLiteral("HASH"));
                child<QLineEdit>(rules, "Text3")->clear();
                child<QLineEdit>(rules, "Text5")->clear();
                child<QCheckBox>(rules, "Check2")->setChecked(false);
                click(rules, "Command1");
                QCOMPARE(rules.result(), int(QDialog::Accepted));
            });
        basicSettings();
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), before);
    }

    void generatedFilesFollowTheChoiceOfTheSettingsMenu()
    {
        open();
        QVERIFY(action("Mn_Gen_0")->isChecked()); // older files lack the key: counted as always
        const QString hand = m_dir->write(QStringLiteral("hand.c"), "a;\nb;\n");
        const QString made = m_dir->write(QStringLiteral("made.c"), "// Code generated by protoc-gen-go. DO NOT EDIT.\nx;\n");
        QVERIFY(test::dropFiles(*m_window, {hand, made}));
        auto run = [&] {
            action("Mn_kaiseki")->trigger();
            return m_window->resultGrid()->rowCount();
        };

        action("Mn_Gen_2")->trigger();
        QCOMPARE(read("Mode", QStringLiteral("Gen_Mode")), QStringLiteral("2"));
        QCOMPARE(run(), 3);
        QVERIFY(m_window->resultGrid()->cellText(2, 2).startsWith(QStringLiteral("0.002 KStep")));
        QVERIFY(m_window->reportText().contains(QStringLiteral("生成ファイル  1 件  0.001 KStep（総実行数に含まず）")));

        action("Mn_Gen_1")->trigger();
        QCOMPARE(run(), 2); // one file and the totals
        QVERIFY(!m_window->reportText().contains(QStringLiteral("made.c")));
        QVERIFY(!m_window->reportText().contains(QStringLiteral("生成ファイル")));

        // The choice is the one the next start shows.
        MainWindow again(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        QVERIFY(again.findChild<QAction*>(QStringLiteral("Mn_Gen_1"))->isChecked());
        QVERIFY(!again.findChild<QAction*>(QStringLiteral("Mn_Gen_0"))->isChecked());
    }

    // 基本設定 lists the types by name and by interpreter after the extensions; changing one
    // to another kind of type moves it to that kind's list.
    void nameAndInterpreterTypesAreListedAndChangedInBasicSettings()
    {
        open();
        const QString ini = m_dir->path(QStringLiteral("Tarvik.ini"));
        {
            SettingsStore store(ini);
            QString error;
            QVERIFY(FileTypeEditor(store).add(FileTypeEntry::Match::Name, QStringLiteral("Makefile"), QStringLiteral("HASH"),
                                              QStringLiteral("Make"), &error));
            QVERIFY(FileTypeEditor(store).add(FileTypeEntry::Match::Interpreter, QStringLiteral("sh"), QStringLiteral("HASH"),
                                              QStringLiteral("Shell"), &error));
        }
        m_dialogs
            ->then([&](QDialog& form2) {
                QCOMPARE(gridRow(form2, 3), (QStringList{QStringLiteral("Makefile"), QStringLiteral("Make"), QStringLiteral("HASH")}));
                QCOMPARE(gridRow(form2, 4), (QStringList{QStringLiteral("#!sh"), QStringLiteral("Shell"), QStringLiteral("HASH")}));
                selectRows(form2, 4, 4);
                click(form2, "Command2");
                QCOMPARE(gridRow(form2, 3), (QStringList{QStringLiteral("Makefile"), QStringLiteral("Make"), QStringLiteral("HASH")}));
                QCOMPARE(gridRow(form2, 4), (QStringList{QStringLiteral("run"), QStringLiteral("Shell"), QStringLiteral("HASH")}));
                form2.reject();
            })
            .then([&](QDialog& form3) {
                QCOMPARE(child<QLineEdit>(form3, "Text1")->text(), QStringLiteral("sh"));
                QCOMPARE(child<QComboBox>(form3, "Combo2")->currentText(), QStringLiteral("#!インタプリタ"));
                child<QComboBox>(form3, "Combo2")->setCurrentIndex(1); // ファイル名
                child<QLineEdit>(form3, "Text1")->setText(QStringLiteral("run"));
                click(form3, "Command2");
            });
        basicSettings();
        QCOMPARE(read("Engin", QStringLiteral("Name_List")), QStringLiteral("Makefile,run"));
        QCOMPARE(read("Engin", QStringLiteral("Name_run")), QStringLiteral("HASH,Shell,1"));
        QVERIFY(!m_dir->read(QStringLiteral("Tarvik.ini")).contains("Shebang_"));
    }
};

QTEST_MAIN(SettingsDialogsTest)
#include "SettingsDialogsTest.moc"
