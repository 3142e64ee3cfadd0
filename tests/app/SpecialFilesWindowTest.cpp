// Special files through the window: a folder walk and drops take them into the list, and the
// run shows each as missing or counted, without hanging and without opening a FIFO.
#include "app/MainWindow.h"
#include "config/NativePath.h"
#include "output/ResultGridModel.h"
#include "support/DeepFolder.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QStatusBar>
#include <QTest>

#include <cstring>
#include <memory>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {
const QByteArray kIni = "[Mode]\r\nSerch_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n"
                        "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";
const QString kMissing = QStringLiteral("       ファイル未存在");
} // namespace

class SpecialFilesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void specialFilesAreListedAndShownAsMissing()
    {
        TempDir dir;
        dir.write(QStringLiteral("Tarvik.ini"), kIni);
        const QString tree = dir.mkdir(QStringLiteral("tree"));
        const std::string root = pathToNative(tree);
        dir.write(QStringLiteral("tree/empty.c"), "");
        dir.write(QStringLiteral("tree/nul.c"), QByteArray("x;\0\n", 4));
        QCOMPARE(::mkfifo((root + "/fifo.c").c_str(), 0644), 0);
        QCOMPARE(::symlink("/nonexistent.c", (root + "/dangling.c").c_str()), 0);
        QCOMPARE(::symlink("loop.c", (root + "/loop.c").c_str()), 0);
        int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string sockPath = root + "/socket.c";
        QVERIFY(sockPath.size() < sizeof addr.sun_path);
        std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
        QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(sock);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(::inotify_add_watch(watch, (root + "/fifo.c").c_str(), IN_OPEN) >= 0);

        ScriptedPrompter prompter;
        RecordingLauncher launcher;
        MainWindow w(dir.path(QStringLiteral("Tarvik.ini")), prompter, launcher);
        prompter.expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        w.findChild<QAction*>(QStringLiteral("Mn_DirOpen"))->trigger();
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("登録数は6ファイルです"));
        // Dropped again, and with /dev/zero: only the device is new.
        QVERIFY(test::dropFiles(w, {tree + QStringLiteral("/fifo.c"), QStringLiteral("/dev/zero")}));
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("登録数は1ファイルです"));

        w.RunAnalysis();
        ResultGridModel* grid = w.resultGrid();
        QStringList rows;
        for (int r = 0; r < 8; ++r)
            rows << grid->cellText(r, 0) + u'=' + grid->cellText(r, 2);
        QCOMPARE(rows, (QStringList{QStringLiteral("dangling.c=") + kMissing, QStringLiteral("empty.c=0"),
                                    QStringLiteral("fifo.c=") + kMissing, QStringLiteral("loop.c=") + kMissing,
                                    QStringLiteral("nul.c=1"), QStringLiteral("socket.c=") + kMissing,
                                    QStringLiteral("zero=") + kMissing, QStringLiteral("解析結果=0.001 KStep です")}));
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("7個のファイルを解析しました"));
        char events[4096];
        QVERIFY2(::read(watch, events, sizeof events) <= 0, "the FIFO was opened");
        ::close(watch);
        QVERIFY(prompter.done());
    }

    void aFileWhosePathIsTooLongIsReportedAsAFileNotListed()
    {
        TempDir dir;
        dir.write(QStringLiteral("Tarvik.ini"), kIni);
        const QString tree = dir.mkdir(QStringLiteral("tree"));
        test::DeepFolder deep(pathToNative(tree), 3950);
        const std::string fits = deep.file(4095, ".c");
        const std::string tooLong = deep.file(4096, ".c");
        QVERIFY(!fits.empty() && !tooLong.empty());
        ScriptedPrompter prompter;
        RecordingLauncher launcher;
        MainWindow w(dir.path(QStringLiteral("Tarvik.ini")), prompter, launcher);
        prompter.expect(Kind::ChooseFolder, {}, {tree})
            .expect(Kind::Message, QStringLiteral("次のファイルはパスが長すぎるため登録しませんでした：\n")
                                       + pathFromNative(tooLong) + QStringLiteral("  (")
                                       + QString::fromLocal8Bit(std::strerror(ENAMETOOLONG)) + u')')
            .expect(Kind::ChooseFolder, {}, {});
        w.findChild<QAction*>(QStringLiteral("Mn_DirOpen"))->trigger();
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("登録数は1ファイルです"));
        QVERIFY(prompter.done());
    }
};

QTEST_MAIN(SpecialFilesWindowTest)
#include "SpecialFilesWindowTest.moc"
