#include "app/MainWindow.h"

#include "app/AnalysisListModel.h"
#include "app/StatusMessage.h"
#include "cli/CountCommand.h"
#include "output/ResultGridModel.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include <memory>
#include <sstream>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kIni = "[DIR]\r\nDef_Dir=\r\n[Mode]\r\n"
                        "[Engin]\r\nList=c,py,txt\r\nAnr_Eng=C_STYLE,HASH\r\nLang_c=C_STYLE,C,1\r\n"
                        "Lang_py=HASH,Python,1\r\nLang_txt=,Text,0\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#,,\r\n";

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;

    MainWindow& open(const QByteArray& ini = kIni, bool withFile = true)
    {
        if (withFile)
            m_dir->write(QStringLiteral("Tarvik.ini"), ini);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        return *m_window;
    }
    QString status() const { return m_window->statusBar()->currentMessage(); }
    int px(double twips) const { return WindowGeometry::toPixels(twips, QGuiApplication::primaryScreen()->logicalDotsPerInchX()); }
    QAction* action(const char* name) const { return m_window->findChild<QAction*>(QString::fromUtf8(name)); }
    QString setting(const char* key) const
    {
        return SettingsStore(m_dir->path(QStringLiteral("Tarvik.ini"))).read(QStringLiteral("DIR"), QString::fromUtf8(key));
    }
    void drop(const QStringList& paths) { QVERIFY(test::dropFiles(*m_window, paths)); }

    // The result grid as the view shows it.
    QTableView* view() const { return m_window->findChild<QTableView*>(QStringLiteral("MSFlexGrid1")); }
    static QStringList names(const char* spaced) { return QString::fromUtf8(spaced).split(u' '); }
    QStringList shownNames() const
    {
        QStringList shown;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            shown << view()->model()->index(row, 0).data().toString();
        return shown;
    }
    void clickHeader(int column)
    {
        QTest::mouseClick(view()->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          {view()->horizontalHeader()->sectionViewportPosition(column) + 5, 5});
    }
    QString lines(int n, const QString& name, const QByteArray& head = {})
    {
        return m_dir->write(name, head + QByteArray("x;\n").repeated(n));
    }
    QString printedText() // through a PDF file, without blanks
    {
        const QString pdf = m_dir->path(QStringLiteral("out.pdf"));
        m_window->setPrinterSource([] { return std::unique_ptr<QPrinter>(); });
        m_prompter->expect(Kind::OkCancel, {}, {QStringLiteral("ok")}).expect(Kind::YesNo, {}, {QStringLiteral("yes")}).expect(Kind::SaveFile, {}, {pdf});
        m_window->PrintResults();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
        m_prompter.reset();
    }

    void shouldStartWithDesignDefaultsWithoutSettingsFile()
    {
        MainWindow& w = open({}, false);
        QCOMPARE(w.objectName(), QStringLiteral("Form1"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Tarvik"));
        QCOMPARE(w.geometry(), QRect(px(1335), px(1275), px(12840), px(7275)));
        QVERIFY(action("Mn_Kigou")->isChecked());
        QVERIFY(action("Mn_Serch_Sub_0")->isChecked());
        QCOMPARE(status(), StatusMessage::todayText());
        QCOMPARE(w.resultGrid()->rowCount(), 1);
        QCOMPARE(w.fileDialogDirectory(), QCoreApplication::applicationDirPath());
        for (const char* name : {"Toolbar1", "Label2", "List1", "Label3", "MSFlexGrid1", "ProgressBar1", "StatusBar1",
                                 "RichTextBox1", "Command1", "Command2", "Command3", "Command4", "Timer1"})
            QVERIFY2(w.findChild<QObject*>(QString::fromUtf8(name)), name);
        QVERIFY(!QFile::exists(m_dir->path(QStringLiteral("Tarvik.ini")))); // start-up writes nothing
    }

    void shouldRestoreMaximisedWindowWithDesignGeometry()
    {
        QByteArray ini = kIni;
        ini.replace("Def_Dir=\r\n", "Def_Dir=\r\nState=2\r\nDisp_Width=5000\r\nDisp_Heigh=3000\r\n");
        MainWindow& again = open(ini);
        QVERIFY(again.windowState() & Qt::WindowMaximized);
        QCOMPARE(again.normalGeometry().size(), QSize(px(12840), px(7275)));
    }

    // Closed maximised, the window comes back maximised over the rectangle it had before.
    void shouldKeepTheNormalRectangleOfAWindowClosedMaximised()
    {
        MainWindow& w = open();
        w.showRestored();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect normal(px(1500), px(1200), px(9000), px(6000));
        w.setGeometry(normal);
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(w.close());
        QCOMPARE(setting("State"), QStringLiteral("2"));

        MainWindow& again = open(kIni, false);
        again.showRestored();
        QVERIFY(again.windowState() & Qt::WindowMaximized);
        QCOMPARE(again.normalGeometry(), normal);
    }

    void shouldUseDefaultsAfterMinimisedExitAndFloorPartialGeometry()
    {
        QByteArray ini = kIni;
        ini.replace("Def_Dir=\r\n", "Def_Dir=\r\nState=1\r\nDisp_Width=5000\r\nDisp_Heigh=4000\r\n");
        MainWindow& minimised = open(ini);
        QVERIFY(!(minimised.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
        QCOMPARE(minimised.geometry(), QRect(px(1335), px(1275), px(12840), px(7275)));

        QByteArray partial = kIni;
        partial.replace("Def_Dir=\r\n", "Def_Dir=/srv/src\r\nState=0\r\nDisp_Width=8000.75\r\nDisp_Topps=abc\r\n");
        MainWindow& w = open(partial);
        QCOMPARE(w.geometry(), QRect(px(1335), px(1275), px(8000), px(7275)));
        QCOMPARE(w.fileDialogDirectory(), QStringLiteral("/srv/src"));
    }

    void shouldSetCheckMarksUnlessTheValueIsZero()
    {
        struct Case {
            const char* count;
            const char* search;
            bool countChecked;
            bool searchChecked;
        };
        for (const Case& c : {Case{"0", "1", false, true}, Case{"1", "0", true, false}, Case{"x", "", true, true}}) {
            QByteArray ini = kIni;
            ini.replace("[Mode]\r\n", QByteArray(QByteArray("[Mode]\r\nCount_Mode=") + c.count + "\r\nSerch_Mode=" + c.search + "\r\n"));
            open(ini);
            QCOMPARE(action("Mn_Kigou")->isChecked(), c.countChecked);
            QCOMPARE(action("Mn_Serch_Sub_0")->isChecked(), c.searchChecked);
        }
        // File-type items follow List, checked only for a flag of exactly "1".
        QCOMPARE(action("Mn_Serch_Sub_1")->text(), QStringLiteral("c"));
        QVERIFY(action("Mn_Serch_Sub_1")->isChecked());
        QCOMPARE(action("Mn_Serch_Sub_3")->text(), QStringLiteral("txt"));
        QVERIFY(!action("Mn_Serch_Sub_3")->isChecked());
        m_window->BuildFileTypeMenu();
        QCOMPARE(m_window->findChild<QMenu*>(QStringLiteral("Mn_Serch"))->actions().size(), 4);
    }

    void shouldRestartTheThreeSecondsForAFollowingMessage()
    {
        MainWindow& w = open();
        QTimer* timer = w.findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(!timer->isActive());
        w.statusMessage()->showTimed(QStringLiteral("first"));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 3000);
        QTest::qWait(300);
        const int leftOfFirst = timer->remainingTime();
        w.statusMessage()->showTimed(QStringLiteral("second"));
        QVERIFY(timer->remainingTime() > leftOfFirst);
        QCOMPARE(status(), QStringLiteral("second"));
        w.statusMessage()->Timer1_Timer();
        QCOMPARE(status(), StatusMessage::todayText());
        QVERIFY(!timer->isActive());
    }

    void shouldKeepTheStatusTextWhileTheMenusAreBrowsed()
    {
        MainWindow& w = open();
        for (const QString& text : {StatusMessage::todayText(), QStringLiteral("登録数は1ファイルです")}) {
            w.statusMessage()->show(text);
            // What hovering each item and then leaving the menu sends to the window.
            for (QMenu* menu : w.menuBar()->findChildren<QMenu*>()) {
                for (QAction* item : menu->actions())
                    item->showStatusText(w.menuBar());
            }
            QStatusTipEvent left{QString()};
            QCoreApplication::sendEvent(w.menuBar(), &left);
            QCOMPARE(status(), text);
        }
    }

    void shouldListOurOwnFileCommandsAfterPrintBeforeQuit()
    {
        open();
        QStringList names;
        for (QAction* a : m_window->findChild<QMenu*>(QStringLiteral("Mn_File"))->actions())
            names << a->objectName();
        QCOMPARE(names, (QStringList{QStringLiteral("Mn_FileOpen"), QStringLiteral("Mn_DirOpen"), QStringLiteral("Mn_ServOpen"),
                                     QStringLiteral("Mn_FileSave"), QStringLiteral("Mn_FilePrint"),
                                     QStringLiteral("separatorExtra"), QStringLiteral("Mn_Diff"), QStringLiteral("Mn_CsvSave"),
                                     QStringLiteral("Mn_excel"), QStringLiteral("separator1"), QStringLiteral("Mn_End")}));
    }

    void shouldKeepRunningWhenExitIsDeclined()
    {
        MainWindow& w = open();
        const QByteArray before = m_dir->read(QStringLiteral("Tarvik.ini"));
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("no")});
        QVERIFY(!w.close());
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("no")});
        action("Mn_End")->trigger();
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), before);
    }

    void shouldSaveAndRestoreTheOuterRectangleOnConfirmedExit()
    {
        MainWindow& w = open();
        w.showRestored();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setGeometry(px(1500), px(1200), px(9000), px(6000));
        const QRect frame = w.frameGeometry();
        QVERIFY(frame.width() > w.width()); // the offscreen platform frames its windows too
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(w.close());
        const double dpiX = w.screen()->logicalDotsPerInchX(), dpiY = w.screen()->logicalDotsPerInchY();
        QCOMPARE(setting("Disp_Width").toDouble(), WindowGeometry::toTwips(frame.width(), dpiX));
        QCOMPARE(setting("Disp_Heigh").toDouble(), WindowGeometry::toTwips(frame.height(), dpiY));
        QCOMPARE(setting("Disp_Topps").toDouble(), WindowGeometry::toTwips(frame.top(), dpiY));
        QCOMPARE(setting("Disp_Lftps").toDouble(), WindowGeometry::toTwips(frame.left(), dpiX));
        QCOMPARE(setting("State"), QStringLiteral("0"));

        MainWindow& again = open(m_dir->read(QStringLiteral("Tarvik.ini")));
        again.showRestored();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QTRY_COMPARE(again.frameGeometry(), frame);
    }

    void shouldOnlyStretchWhatTheResizeStretches()
    {
        MainWindow& w = open();
        w.showRestored();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto at = [&](const char* name) { return w.findChild<QWidget*>(QString::fromLatin1(name))->geometry(); };
        const char* kept[] = {"Line2_0", "Line2_1", "Label2", "List1", "Label3"};
        QList<QRect> before;
        for (const char* name : kept)
            before << at(name);
        const QRect grid = at("MSFlexGrid1");
        QVERIFY(at("Line2_0").top() >= 0); // the separator under the toolbar is in sight
        w.resize(w.width() + 100, w.height() + 80);
        QTRY_COMPARE(at("MSFlexGrid1").height(), grid.height() + 80);
        QCOMPARE(at("MSFlexGrid1").topLeft(), grid.topLeft());
        for (int i = 0; i < before.size(); ++i) {
            QCOMPARE(at(kept[i]).topLeft(), before[i].topLeft());
            QCOMPARE(at(kept[i]).size(), before[i].size() + QSize(100, 0));
        }
        QCOMPARE(at("ProgressBar1").top(), grid.bottom() + 81);
    }

    void shouldRegisterPickedFilesUntilTheDialogIsCancelled()
    {
        MainWindow& w = open();
        const QString a = m_dir->write(QStringLiteral("src/a.c"), "x;\n");
        const QString b = m_dir->write(QStringLiteral("src/b.c"), "y;\n");
        m_prompter->expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {a, b})
            .expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {a},
                    [&] { QCOMPARE(status(), QStringLiteral("登録中")); })
            .expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {});
        action("Mn_FileOpen")->trigger();
        QCOMPARE(w.analysisList()->entries(), (QStringList{a, b}));
        QCOMPARE(status(), QStringLiteral("登録中")); // a cancel leaves the text until the next message
        QCOMPARE(m_prompter->lastDirectory, QCoreApplication::applicationDirPath());
    }

    // Installed (per-user settings, empty Def_Dir): the first dialog opens at home, or in the
    // first registered file's folder; each kind then reopens where it was last used, also after
    // a restart. A set Def_Dir keeps its meaning.
    void shouldOpenEachKindOfDialogWhereItWasLastUsedWhenInstalled()
    {
        MainWindow* w = &open();
        w->setPerUserSettings(true);
        const QString a = m_dir->write(QStringLiteral("src/a.c"), "x;\n");
        const QString logs = m_dir->mkdir(QStringLiteral("logs"));
        QString started;
        m_prompter->expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {a},
                           [&] { started = m_prompter->lastDirectory; })
            .expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {});
        action("Mn_FileOpen")->trigger();
        QVERIFY(started == QDir::homePath() || started == QDir::currentPath());
        QVERIFY(started != QCoreApplication::applicationDirPath());
        // A kind not used yet starts in the first registered file's folder.
        w->RunAnalysis();
        m_prompter->expect(Kind::SaveFile, QStringLiteral("名前を付けて保存"), {logs + QStringLiteral("/run.tvk")});
        action("Mn_FileSave")->trigger();
        QCOMPARE(m_prompter->lastDirectory, m_dir->path(QStringLiteral("src")));
        QVERIFY(QFile::exists(logs + QStringLiteral("/run.tvk")));

        m_window.reset();
        w = &open(kIni, false);
        w->setPerUserSettings(true);
        m_prompter->expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {a})
            .expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {});
        action("Mn_FileOpen")->trigger();
        QCOMPARE(m_prompter->lastDirectory, m_dir->path(QStringLiteral("src")));
        w->RunAnalysis();
        m_prompter->expect(Kind::SaveFile, QStringLiteral("名前を付けて保存"), {});
        action("Mn_FileSave")->trigger();
        QCOMPARE(m_prompter->lastDirectory, logs);

        SettingsStore(m_dir->path(QStringLiteral("Tarvik.ini"))).WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), logs + QStringLiteral("/.."));
        w->setFileDialogDirectory(m_dir->path());
        m_prompter->expect(Kind::OpenFiles, QStringLiteral("解析ファイルを開く"), {});
        action("Mn_FileOpen")->trigger();
        QCOMPARE(m_prompter->lastDirectory, m_dir->path());
    }

    void shouldWalkTheChosenFolderWithTheMenuOptions()
    {
        MainWindow& w = open();
        for (const char* f : {"tree/a.c", "tree/b.txt", "tree/B.C", "tree/sub/c.py", "tree/sub/deeper/d.c"})
            m_dir->write(QString::fromUtf8(f), "x\n");
        const QString tree = m_dir->path(QStringLiteral("tree"));
        action("Mn_Serch_Sub_0")->setChecked(false);
        m_prompter->expect(Kind::ChooseFolder, QStringLiteral("解析ディレクトリを開く"), {tree})
            .expect(Kind::ChooseFolder, QStringLiteral("解析ディレクトリを開く"), {});
        action("Mn_DirOpen")->trigger();
        QCOMPARE(w.analysisList()->entries(), QStringList{tree + QStringLiteral("/a.c")});
        // b.txt and B.C are of types the search does not take.
        QCOMPARE(status(), QStringLiteral("登録数は1ファイルです　未登録の種類のファイル 2 件は登録していません"));

        action("Mn_Serch_Sub_0")->setChecked(true);
        action("Mn_Serch_Sub_2")->setChecked(false); // py is not taken now
        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("解析ファイルを開く(Directry)")->trigger();
        QCOMPARE(w.analysisList()->entries(),
                 (QStringList{tree + QStringLiteral("/a.c"), tree + QStringLiteral("/sub/deeper/d.c")}));
        // b.txt, B.C and now sub/c.py, whose type is not searched.
        QCOMPARE(status(), QStringLiteral("登録数は1ファイルです　未登録の種類のファイル 3 件は登録していません"));
    }

    void shouldShowAMixedRunInGridAndReport()
    {
        MainWindow& w = open();
        const QString counted = m_dir->write(QStringLiteral("src/main.c"), "int main() {\n  return 0; // ok\n}\n// end\n");
        const QString unknown = m_dir->write(QStringLiteral("src/notes.txt"), "text\n");
        const QString missing = m_dir->path(QStringLiteral("src/gone.c"));
        drop({counted, unknown, missing});
        QCOMPARE(status(), QStringLiteral("登録数は3ファイルです"));
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F5);

        ResultGridModel* grid = w.resultGrid();
        QCOMPARE(grid->rowCount(), 4);
        const QString dir = m_dir->path(QStringLiteral("src/"));
        QCOMPARE(grid->cellText(0, 0), QStringLiteral("main.c"));
        QCOMPARE(grid->cellText(0, 1), dir);
        QCOMPARE(grid->cellText(0, 2), QStringLiteral("3"));
        QCOMPARE(grid->cellText(0, 3), QStringLiteral("1"));
        QCOMPARE(grid->cellText(0, 4), QStringLiteral("4"));
        QCOMPARE(grid->cellText(1, 2), QStringLiteral("       不明なファイル"));
        QCOMPARE(grid->cellText(2, 2), QStringLiteral("       ファイル未存在"));
        QCOMPARE(grid->cellText(2, 3), QStringLiteral("0"));
        QCOMPARE(grid->cellText(3, 2), QStringLiteral("0.003 KStep です"));
        QCOMPARE(grid->index(1, 5).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 128));
        QCOMPARE(grid->index(2, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 128, 128));
        QCOMPARE(grid->index(3, 4).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0, 255, 255));

        const QString dash = QString(79, u'-') + QStringLiteral("\r\n");
        const QString expected =
            dash + QStringLiteral("      Program ＩＤ              実行行            コメント行          総行数     \r\n") + dash
            + QStringLiteral("            main.c                 3                    1                 4\r\n")
            + QStringLiteral("         notes.txt       不明なファイル   \r\n")
            + QStringLiteral("            gone.c       ファイルが存在するか確認して下さい！   \r\n") + dash
            + QStringLiteral("          総実行数              0.003 KStep です        ") + StatusMessage::todayText()
            + QStringLiteral("\r\n") + dash;
        QCOMPARE(w.reportText(), expected);
        QCOMPARE(status(), QStringLiteral("3個のファイルを解析しました"));
        QCOMPARE(w.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value(), 0);
        QVERIFY(w.findChild<QPlainTextEdit*>(QStringLiteral("RichTextBox1"))->isReadOnly());

        // The same run from the toolbar gives the same report.
        action("解析")->trigger();
        QCOMPARE(w.reportText(), expected);
    }

    void shouldAnalyseAnEmptyListToNothing()
    {
        MainWindow& w = open();
        w.findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        QCOMPARE(w.resultGrid()->rowCount(), 1);
        QCOMPARE(w.reportText(), QString());
        QCOMPARE(status(), QStringLiteral("0個のファイルを解析しました"));
    }

    // kIni has no Count_Mode: the window counts lines of symbols only, as tarvik-count does.
    void shouldCountLikeTheCommandWithoutCountMode()
    {
        MainWindow& w = open();
        const QString file = m_dir->write(QStringLiteral("braces.c"), "int f()\n{\n}\n");
        drop({file});
        w.RunAnalysis();
        std::ostringstream out, err;
        const CountCommand::Environment env{m_dir->path(QStringLiteral("Tarvik.ini")), m_dir->path(), false, false, 1};
        QCOMPARE(CountCommand(env).execute({QStringLiteral("-f"), QStringLiteral("csv"), file}, out, err), 0);
        const QStringList fields = QString::fromStdString(out.str()).split(QStringLiteral("\r\n"))[1].split(u',');
        QCOMPARE(fields.mid(4), (QStringList{QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("3")}));
        for (int column = 2; column <= 4; ++column)
            QCOMPARE(w.resultGrid()->cellText(0, column), fields[column + 2]);
    }

    void shouldEndTheRunOnAnUnreadableFile()
    {
        QByteArray ini = kIni;
        ini.replace("Lang_c=C_STYLE,C,1\r\n", "Lang_c=C_STYLE,C,1\r\nLang_/proc/self/mem=C_STYLE,x,0\r\n");
        MainWindow& again = open(ini);
        const QString a = m_dir->write(QStringLiteral("a.c"), "x;\n");
        drop({a, QStringLiteral("/proc/self/mem")});
        // The status bar names the file that failed, not the one counted before it.
        const QString failed = QStringLiteral("/proc/self/memを解析中");
        m_prompter->expect(Kind::Message, QStringLiteral("予期せぬエラーが発生しました！！"), {},
                           [&] { QCOMPARE(status(), failed); });
        action("Mn_kaiseki")->trigger();
        QCOMPARE(status(), failed);
        QCOMPARE(m_prompter->lastIcon, UserPrompter::Icon::Warning);
        QVERIFY(again.reportText().contains(QStringLiteral("a.c")));
        QVERIFY(!again.reportText().contains(QStringLiteral("KStep")));
        QCOMPARE(again.resultGrid()->cellText(0, 0), QStringLiteral("a.c"));
        QCOMPARE(again.resultGrid()->cellText(2, 0), QString()); // no totals row
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // Half a result is never saved over a file: no dialog is offered.
        for (const char* save : {"Mn_FileSave", "Mn_CsvSave", "Mn_excel"}) {
            m_prompter->expect(Kind::Message, QStringLiteral("解析が途中で終了したため、結果を保存できません。"));
            action(save)->trigger();
        }
    }

    // During a run only Esc and 中止 get through, and either stops it: the rows counted stand,
    // the rest say they were not counted, the totals are of the counted ones, nothing is saved.
    void shouldStopARunOnEscapeOrTheCancelButtonOnly()
    {
        MainWindow& w = open();
        QStringList files;
        for (int i = 0; i < 30; ++i)
            files << m_dir->write(QStringLiteral("m/f%1.c").arg(i + 10), QByteArray("x;\n").repeated(i + 1));
        drop(files);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* cancel = test::child<QPushButton>(w, "CancelButton");
        QVERIFY(cancel->isHidden());
        test::child<QListView>(w, "List1")->selectAll();
        const auto run = [&] { w.RunAnalysis(); };
        test::actDuringWork(w, 3, [&] {
            QVERIFY(cancel->isVisible());
            QTest::keyClick(w.windowHandle(), Qt::Key_Delete); // held back: it would remove the entries
            QTest::keyClick(w.windowHandle(), Qt::Key_Escape);
        }, run);
        QVERIFY(cancel->isHidden());
        QCOMPARE(w.analysisList()->entries().size(), 30);
        ResultGridModel* grid = w.resultGrid();
        QCOMPARE(grid->cellText(2, 2), QStringLiteral("3"));
        QCOMPARE(grid->cellText(29, 0), QStringLiteral("f39.c"));
        for (int row : {3, 29})
            QCOMPARE(grid->cellText(row, 2), QStringLiteral("       中止のため未解析"));
        QCOMPARE(grid->cellText(30, 2), QStringLiteral("0.006 KStep です")); // 1 + 2 + 3 lines
        QCOMPARE(status(), QStringLiteral("解析を中止しました（3 / 30 ファイルを解析）"));
        m_prompter->expect(Kind::Message, QStringLiteral("解析が途中で終了したため、結果を保存できません。"));
        action("Mn_FileSave")->trigger();
        // A click on 中止 as the window system hands it over: to the window first.
        test::actDuringWork(w, 5, [&] {
            QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&w, QPoint(4, 4)));
        }, run);
        QCOMPARE(status(), QStringLiteral("解析を中止しました（5 / 30 ファイルを解析）"));
    }

    void shouldOpenGridRowsFromTheBottomOfTheSelectionUp()
    {
        MainWindow& w = open();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList files;
        for (int i = 0; i < 4; ++i)
            files << m_dir->write(QStringLiteral("g/f%1.c").arg(i), "x;\n");
        drop(files);
        action("Mn_kaiseki")->trigger();
        auto* view = w.findChild<QTableView*>(QStringLiteral("MSFlexGrid1"));
        view->selectionModel()->select(QItemSelection(w.resultGrid()->index(1, 0), w.resultGrid()->index(3, 0)),
                                       QItemSelectionModel::ClearAndSelect);
        w.MSFlexGrid1_DblClick(w.resultGrid()->index(1, 0));
        QCOMPARE(m_launcher->launched, (QStringList{files[3], files[2], files[1]}));

        // The filler column is empty: nothing opens, no message.
        m_launcher->launched.clear();
        view->selectionModel()->clearSelection();
        w.MSFlexGrid1_DblClick(w.resultGrid()->index(0, 5));
        QVERIFY(m_launcher->launched.isEmpty());

        // A real double click on a row opens its file.
        const QRect cell = view->visualRect(view->model()->index(0, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QCOMPARE(m_launcher->launched, QStringList{files[0]});
    }

    void shouldCutLongFoldersInTheMiddleAndShowThemWholeOnHover()
    {
        MainWindow& w = open();
        const QString deep = m_dir->write(QStringLiteral("projects/customer-a/release-2024/module-x/src/a.c"), "x;\n");
        drop({deep});
        action("Mn_kaiseki")->trigger();
        const QString folder = w.resultGrid()->cellText(0, 1);
        QVERIFY(folder.endsWith(QStringLiteral("/module-x/src/")));
        QCOMPARE(w.resultGrid()->data(w.resultGrid()->index(0, 1), Qt::ToolTipRole).toString(), folder);
        QCOMPARE(w.findChild<QTableView*>(QStringLiteral("MSFlexGrid1"))->textElideMode(), Qt::ElideMiddle);
    }

    void shouldMarkGeneratedFilesSetAsideAndTotalThemOnScreenAndPaper()
    {
        MainWindow& w = open();
        drop({lines(2, QStringLiteral("hand.c")), lines(3, QStringLiteral("made.c"), "// Code generated by x. DO NOT EDIT.\n")});
        action("Mn_Gen_2")->trigger();
        w.RunAnalysis();
        auto colour = [&](int row) { return w.resultGrid()->index(row, 3).data(Qt::BackgroundRole).value<QBrush>().color(); };
        QVERIFY(colour(1) == ResultGridModel::generatedBackground() && colour(0) != colour(1));
        QCOMPARE(w.resultGrid()->cellText(2, 2), QStringLiteral("0.002 KStep です")); // its own figures
        auto* legend = w.findChild<QLabel*>(QStringLiteral("GeneratedLegend"));
        auto* total = w.findChild<QLabel*>(QStringLiteral("GeneratedTotal"));
        QVERIFY(!legend->isHidden() && legend->text() == QStringLiteral("生成ファイル（総実行数に含めず）"));
        const QString generated = QStringLiteral("生成ファイル 1 件  実行行 3（0.003 KStep、総実行数に含めず）");
        QVERIFY(!total->isHidden() && total->text() == generated);
        QVERIFY(printedText().endsWith(StatusMessage::todayText().remove(u' ') + u"Tarvik" + QString(generated).remove(u' ')));

        // Counted like any other file, the same file is neither marked nor totalled apart.
        action("Mn_Gen_0")->trigger();
        w.RunAnalysis();
        QVERIFY(colour(0) == colour(1) && legend->isHidden() && total->isHidden());
        QVERIFY(!printedText().contains(QStringLiteral("生成ファイル")));
    }

    void shouldShowTheTotalsRowAfterALongRunAndGiveThePathTheFreeWidth()
    {
        MainWindow& w = open();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList files;
        for (int i = 0; i < 300; ++i)
            files << lines(1, QStringLiteral("src/f%1.c").arg(i));
        drop(files);
        w.RunAnalysis();
        QVERIFY(view()->viewport()->rect().contains(view()->visualRect(view()->model()->index(300, 0))));

        // A grid the user scrolled while the run filled it stays where it was put.
        view()->scrollToTop();
        QMetaObject::Connection during = connect(w.findChild<QProgressBar*>(QStringLiteral("ProgressBar1")),
                                                 &QProgressBar::valueChanged, this, [&] {
                                                     view()->verticalScrollBar()->setValue(10);
                                                     disconnect(during);
                                                 });
        w.RunAnalysis();
        QCOMPARE(view()->verticalScrollBar()->value(), 10);

        // Wide, the path column takes what the others leave; narrow, it keeps its width.
        const int path = view()->columnWidth(1);
        const int others = view()->horizontalHeader()->length() - path;
        w.resize(w.width() + 1000, w.height());
        QTRY_COMPARE(view()->columnWidth(1), view()->viewport()->width() - others);
        QTRY_VERIFY(view()->columnWidth(1) > path && !view()->horizontalScrollBar()->isVisible());
        QCOMPARE(view()->columnWidth(ResultGridModel::kColumnCount - 1), 0); // the empty column gave its width up
        w.resize(w.width() - 1000, w.height());
        QTRY_COMPARE(view()->columnWidth(1), path);
    }

    void shouldSortByFiguresBothWaysAndFilterWhileSavesAndOpeningTakeTheRowsBehind()
    {
        MainWindow& w = open();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        clickHeader(2); // nothing to sort yet
        QCOMPARE(view()->horizontalHeader()->sortIndicatorSection(), -1);
        const QStringList files{lines(10, QStringLiteral("a/ten.c")), m_dir->path(QStringLiteral("gone.c")),
                                lines(2, QStringLiteral("b/two.c")), lines(3, QStringLiteral("Proto/three.py"))};
        drop(files);
        w.RunAnalysis();
        clickHeader(2);
        QVERIFY(!view()->selectionModel()->hasSelection()); // the click sorts, selecting nothing
        QCOMPARE(shownNames(), names("gone.c two.c three.py ten.c 解析結果"));
        clickHeader(2);
        QCOMPARE(shownNames(), names("ten.c three.py two.c gone.c 解析結果"));

        // By path or type, letter case aside; the totals row stays.
        auto* filter = w.findChild<QLineEdit*>(QStringLiteral("FilterBox"));
        QTest::keyClicks(filter, QStringLiteral("proto/"));
        QCOMPARE(shownNames(), names("three.py 解析結果"));
        filter->setText(QStringLiteral("pYTHON"));
        QCOMPARE(shownNames(), names("three.py 解析結果"));
        filter->setText(QStringLiteral(".C"));
        QCOMPARE(shownNames(), names("ten.c two.c gone.c 解析結果"));
        filter->clear();

        // Copying the selection takes the rows shown; saving and opening take the rows behind them.
        view()->selectionModel()->select(QItemSelection(view()->model()->index(0, 0), view()->model()->index(1, 4)),
                                         QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(view(), Qt::Key_C, Qt::ControlModifier);
        const QStringList copied = QGuiApplication::clipboard()->text().split(QStringLiteral("\r\n"));
        QVERIFY(copied[1].startsWith(QStringLiteral("ten.c\t")) && copied[2].startsWith(QStringLiteral("three.py\t")));
        m_prompter->expect(Kind::SaveFile, {}, {m_dir->path(QStringLiteral("out.csv"))});
        w.SaveCsv();
        const QStringList records = QString::fromUtf8(m_dir->read(QStringLiteral("out.csv"))).split(QStringLiteral("\r\n"));
        for (int i = 0; i < 4; ++i)
            QVERIFY2(records[i + 1].startsWith(files[i] + u','), qPrintable(records[i + 1]));
        const QRect cell = view()->visualRect(view()->model()->index(1, 0));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(m_launcher->launched, QStringList{files[3]});
    }

    void shouldShowTheAboutBoxAndReturn()
    {
        MainWindow& w = open();
        for (int i = 0; i < 2; ++i) {
            QString version;
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                QWidget* about = QApplication::activeModalWidget();
                if (!about)
                    return;
                poll.stop();
                QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
                version = about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
                about->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
            });
            poll.start(10);
            action("Mn_Version")->trigger();
            QCOMPARE(version, QStringLiteral("Ver 3.0.00   更新日 ： 2004.05.09"));
        }
        QVERIFY(w.isEnabled());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
