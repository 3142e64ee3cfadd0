// What the desktop hands the window: paths on its command line, and the icon theme.
#include "app/AnalysisListModel.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProgramIcons.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QAction>
#include <QImage>
#include <QPixmap>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <sstream>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;

namespace {
const QByteArray kIni = "[Mode]\r\nSerch_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

QImage picture(const QIcon& icon)
{
    return icon.pixmap(QSize(24, 24)).toImage().convertToFormat(QImage::Format_ARGB32);
}
QImage ownPicture(const QString& name)
{
    // Through a pixmap as the icon's picture goes, so that both are premultiplied alike.
    return QPixmap(QStringLiteral(":/toolbar/%1.png").arg(name)).toImage().convertToFormat(QImage::Format_ARGB32);
}
} // namespace

class StartFromDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void pathsOnTheCommandLineAreRegisteredFoldersBySearch()
    {
        TempDir dir;
        dir.write(QStringLiteral("Tarvik.ini"), kIni);
        dir.write(QStringLiteral("one.c"), "x;\n");
        dir.write(QStringLiteral("two.txt"), "text\n");
        dir.write(QStringLiteral("src/a.c"), "a;\n");
        dir.write(QStringLiteral("src/b.txt"), "b\n");
        dir.write(QStringLiteral("src/sub/c.c"), "c;\n");
        std::ostringstream err;
        const auto paths = CommandLine::paths({QStringLiteral("one.c"), dir.path(QStringLiteral("two.txt")),
                                               QStringLiteral("./src/")},
                                              dir.path(), err);
        QVERIFY(paths);

        ScriptedPrompter prompter;
        RecordingLauncher launcher;
        MainWindow w(dir.path(QStringLiteral("Tarvik.ini")), prompter, launcher);
        w.registerStartPaths(*paths);
        QCOMPARE(w.analysisList()->entries(),
                 (QStringList{dir.path(QStringLiteral("one.c")), dir.path(QStringLiteral("two.txt")),
                              dir.path(QStringLiteral("src/a.c")), dir.path(QStringLiteral("src/sub/c.c"))}));
        // src/b.txt is of a type the folder search does not take; two.txt was named on its own.
        QCOMPARE(w.statusBar()->currentMessage(),
                 QStringLiteral("登録数は4ファイルです　未登録の種類のファイル 1 件は登録していません"));
    }

    void optionsAreToldFromPaths()
    {
        const struct {
            QStringList args;
            bool accepted;
            QStringList paths;
        } cases[] = {
            {{QStringLiteral("-x")}, false, {}},
            {{QStringLiteral("--"), QStringLiteral("-x.c"), QStringLiteral("--help")}, true,
             {QStringLiteral("/w/-x.c"), QStringLiteral("/w/--help")}},
            {{QStringLiteral("../a.c"), QStringLiteral("/b.c"), QStringLiteral("-")}, true,
             {QStringLiteral("/a.c"), QStringLiteral("/b.c"), QStringLiteral("/w/-")}},
        };
        for (const auto& c : cases) {
            std::ostringstream err;
            const auto paths = CommandLine::paths(c.args, QStringLiteral("/w"), err);
            QCOMPARE(bool(paths), c.accepted);
            QCOMPARE(paths.value_or(QStringList{}), c.paths);
            QCOMPARE(err.str().empty(), c.accepted);
        }
        // A file named like an option, after "--", is not taken for the option.
        std::ostringstream out;
        QVERIFY(!CommandLine::answerWithoutWindow({QStringLiteral("--"), QStringLiteral("--version")}, out));
        QVERIFY(out.str().empty());
    }

    void toolbarTakesTheThemesIconsAndOurOwnWhereItHasNone()
    {
        // A theme that has only document-open.
        TempDir icons;
        icons.write(QStringLiteral("only-open/index.theme"),
                    "[Icon Theme]\nName=only-open\nDirectories=24\n\n[24]\nSize=24\nType=Fixed\n");
        QImage red(24, 24, QImage::Format_ARGB32);
        red.fill(Qt::red);
        icons.mkdir(QStringLiteral("only-open/24"));
        QVERIFY(red.save(icons.path(QStringLiteral("only-open/24/document-open.png"))));
        QIcon::setThemeSearchPaths({icons.path()});
        QIcon::setThemeName(QStringLiteral("only-open"));

        TempDir dir;
        dir.write(QStringLiteral("Tarvik.ini"), kIni);
        ScriptedPrompter prompter;
        RecordingLauncher launcher;
        MainWindow w(dir.path(QStringLiteral("Tarvik.ini")), prompter, launcher);
        const QList<QAction*> buttons = w.findChild<QToolBar*>(QStringLiteral("Toolbar1"))->actions();
        QCOMPARE(buttons.size(), 6);
        QCOMPARE(picture(buttons[0]->icon()), red);
        const QString own[] = {QStringLiteral("folder-open"), QStringLiteral("network-server"),
                               QStringLiteral("document-save"), QStringLiteral("document-print"),
                               QStringLiteral("media-playback-start")};
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!ownPicture(own[i]).isNull());
            QCOMPARE(picture(buttons[i + 1]->icon()), ownPicture(own[i]));
        }
    }
};

QTEST_MAIN(StartFromDesktopTest)
#include "StartFromDesktopTest.moc"
