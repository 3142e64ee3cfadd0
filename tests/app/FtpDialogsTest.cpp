// The host list and the remote browser against a real FTP server on loopback: files are
// registered, downloaded beside the program and counted by the normal run.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "app/RemoteBrowserDialog.h"
#include "output/ResultGridModel.h"

#include "support/FtpServer.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedDialogRunner.h"
#include "support/ScriptedPrompter.h"
#include "support/SmallFileSystem.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <memory>

using namespace tarvik;
using tarvik::test::FtpServer;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedDialogRunner;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kIni = "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n"
                        "[FTP_Server]\r\nFTP_List=\r\n";

using tarvik::test::child;

// The browser's entries as "icon:text".
QStringList entries(QDialog& form5)
{
    QStringList out;
    auto* list = child<QTreeWidget>(form5, "ListView1");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << QStringLiteral("%1:%2").arg(list->topLevelItem(i)->data(0, Qt::UserRole).toInt()).arg(list->topLevelItem(i)->text(0));
    return out;
}

void select(QDialog& form5, const QStringList& names)
{
    auto* list = child<QTreeWidget>(form5, "ListView1");
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (names.contains(item->text(0))) {
            list->setCurrentItem(item, 0, QItemSelectionModel::Select);
            item->setSelected(true);
        }
    }
}

RemoteBrowserDialog& browser(QDialog& d) { return static_cast<RemoteBrowserDialog&>(d); }

// The program's own timeouts but the one a stalled server is meant to meet: no other wait can
// run out on a loaded machine.
FtpTimeouts shortStall()
{
    FtpTimeouts t;
    t.stall = std::chrono::seconds(2);
    return t;
}
FtpTimeouts shortConnect()
{
    FtpTimeouts t;
    t.connect = std::chrono::milliseconds(2000);
    return t;
}

// Counts turns of this thread's event loop, i.e. chances the windows had to repaint.
struct EventLoopTicks {
    EventLoopTicks()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++count; });
        timer.start(20);
    }
    QTimer timer;
    int count = 0;
};

} // namespace

class FtpDialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<ScriptedDialogRunner> m_dialogs;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<FtpServer> m_server;

    QString download(const QString& name) const { return m_dir->path(QStringLiteral("prog/srv/") + name); }
    QString mainStatus() const { return m_window->statusBar()->currentMessage(); }

    // The scripted server in place of the real one.
    void startHostile(const QStringList& arguments)
    {
        m_server = std::make_unique<FtpServer>(QStringLiteral("hostile_ftp_server.py"), arguments);
        QVERIFY(m_server->running());
    }
    // A listing file of Unix lines for the scripted server.
    QString listingOf(const QList<QByteArray>& names) const
    {
        QByteArray listing;
        for (const QByteArray& name : names)
            listing += "-rw-r--r--   1 owner    group          10 Jan 26 10:15 " + name + "\r\n";
        return m_dir->write(QStringLiteral("listing"), listing);
    }

    // Opens the host list, registers host "srv" with the given values and connects; `browse`
    // then plays the remote browser.
    void connectTo(const QString& host, const QString& password, const std::function<void(QDialog&)>& browse)
    {
        m_dialogs
            ->then([&, host, password](QDialog& form4) {
                QCOMPARE(form4.objectName(), QStringLiteral("Form4"));
                auto* connectButton = child<QPushButton>(form4, "Command1");
                QVERIFY(!connectButton->isEnabled());
                child<QLineEdit>(form4, "Text1")->setText(QStringLiteral("srv"));
                child<QLineEdit>(form4, "Text2")->setText(host);
                child<QLineEdit>(form4, "Text3")->setText(QStringLiteral("tarvik"));
                child<QLineEdit>(form4, "Text4")->setText(password);
                QCOMPARE(child<QLineEdit>(form4, "Text4")->echoMode(), QLineEdit::Password);
                child<QPushButton>(form4, "Command2")->click();
                QVERIFY(connectButton->isEnabled());
                connectButton->click();
                form4.reject();
            })
            .then([&](QDialog& form5) {
                QCOMPARE(form5.objectName(), QStringLiteral("Form5"));
                QCOMPARE(child<QLabel>(form5, "Label1")->text(), QStringLiteral("srv に接続中です"));
                browse(form5);
                form5.reject();
            });
        m_window->findChild<QAction*>(QStringLiteral("Mn_ServOpen"))->trigger();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dialogs = std::make_unique<ScriptedDialogRunner>();
        m_dir->write(QStringLiteral("Tarvik.ini"), kIni);
        m_dir->mkdir(QStringLiteral("prog"));
        m_dir->write(QStringLiteral("root/src/main.c"), "int main() {\r\n  return 0; // ok\r\n}\r\n");
        m_dir->write(QStringLiteral("root/src/util.c"), "/* util */\nint f(void);\n");
        m_dir->write(QStringLiteral("root/src/deep/inner/x.c"), "x;\n");
        m_dir->write(QStringLiteral("root/readme.c"), "// top\n");
        m_dir->write(QStringLiteral("root/日本語.c"), "y;\n");
        m_dir->write(QStringLiteral("root/my file.c"), "z;\n");
        m_dir->write(QStringLiteral("root/locked/secret.c"), "s;\n");
        m_dir->mkdir(QStringLiteral("root/empty"));
        m_dir->mkdir(QStringLiteral("root/noentry"));
        m_server = std::make_unique<FtpServer>(
            QStringLiteral("ftp_server.py"),
            QStringList{QStringLiteral("--root"), m_dir->path(QStringLiteral("root")), QStringLiteral("--user"),
                        QStringLiteral("tarvik"), QStringLiteral("--password"), QStringLiteral("secret"),
                        QStringLiteral("--perm"), QStringLiteral("locked=el"), QStringLiteral("--perm"),
                        QStringLiteral("noentry=l")});
        QVERIFY(m_server->running());
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setDialogRunner(*m_dialogs);
        m_window->setDownloadRoot(m_dir->path(QStringLiteral("prog")));
    }
    void cleanup()
    {
        m_window.reset();
        m_server.reset();
        QVERIFY(m_prompter->done());
        QVERIFY(m_dialogs->done());
    }

    // With per-user settings the downloads go to ~/.local/share/tarvik, which a new user lacks.
    void downloadsGoIntoADataFolderMadeWhenFirstNeeded()
    {
        const QString data = m_dir->path(QStringLiteral("home/.local/share/tarvik"));
        m_window->setDownloadRoot(data);
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            select(form5, {QStringLiteral("readme.c")});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
        });
        QCOMPARE(m_window->analysisList()->entries(), QStringList{data + QStringLiteral("/srv/readme.c")});
        QVERIFY(QFile::exists(data + QStringLiteral("/srv/readme.c")));
    }

    void browsingRegisteringAndCountingServerFiles()
    {
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            RemoteBrowserDialog& b = browser(form5);
            QCOMPARE(b.currentDirectory(), QStringLiteral("/"));
            const QStringList top = entries(form5);
            QCOMPARE(top.first(), QStringLiteral("3:.."));
            for (const char* dir : {"1:empty", "1:locked", "1:noentry", "1:src"})
                QVERIFY2(top.contains(QString::fromLatin1(dir)), dir);
            for (const QString& file : {QStringLiteral("2:readme.c"), QStringLiteral("2:日本語.c"), QStringLiteral("2:file.c")})
                QVERIFY2(top.contains(file), qPrintable(file));
            QVERIFY(top.indexOf(QStringLiteral("1:src")) < top.indexOf(QStringLiteral("2:readme.c")));

            select(form5, {QStringLiteral("src")});
            b.enterSelected(); // from "/" the target is "//src"
            QCOMPARE(b.currentDirectory(), QStringLiteral("/src"));
            QCOMPARE(entries(form5), (QStringList{QStringLiteral("3:.."), QStringLiteral("1:deep"),
                                                  QStringLiteral("2:main.c"), QStringLiteral("2:util.c")}));
            select(form5, {QStringLiteral("main.c"), QStringLiteral("util.c"), QStringLiteral("deep")});
            b.RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は2ファイルです"));
            // Registered already: skipped before any download.
            QFile::remove(download(QStringLiteral("util.c")));
            select(form5, {QStringLiteral("util.c")});
            b.RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
            QVERIFY(!QFile::exists(download(QStringLiteral("util.c"))));

            select(form5, {QStringLiteral("deep")});
            b.enterSelected();
            select(form5, {QStringLiteral("inner")});
            b.enterSelected();
            QCOMPARE(b.currentDirectory(), QStringLiteral("/src/deep/inner"));
            select(form5, {QStringLiteral("..")});
            b.enterSelected();
            QCOMPARE(b.currentDirectory(), QStringLiteral("/src/deep"));
            select(form5, {QStringLiteral("..")});
            b.enterSelected();
            select(form5, {QStringLiteral("..")});
            b.enterSelected();
            QCOMPARE(b.currentDirectory(), QStringLiteral("/"));
            select(form5, {QStringLiteral("..")});
            b.enterSelected(); // up from the root lists the root again
            QCOMPARE(b.currentDirectory(), QStringLiteral("/"));

            // A double click on a file registers every selected file.
            select(form5, {QStringLiteral("readme.c"), QStringLiteral("日本語.c")});
            auto* list = child<QTreeWidget>(form5, "ListView1");
            emit list->itemDoubleClicked(list->currentItem(), 0);
            QCOMPARE(mainStatus(), QStringLiteral("登録数は2ファイルです"));
        });
        QCOMPARE(m_window->analysisList()->entries(),
                 (QStringList{download(QStringLiteral("main.c")), download(QStringLiteral("util.c")),
                              download(QStringLiteral("readme.c")), download(QStringLiteral("日本語.c"))}));
        // ASCII transfers bring the lines as the server has them.
        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/main.c")).count('\n'), 3);
        QCOMPARE(m_settingsValue("FTP_List"), QStringLiteral("srv"));

        m_window->RunAnalysis();
        ResultGridModel* grid = m_window->resultGrid();
        QCOMPARE(grid->cellText(0, 0), QStringLiteral("main.c"));
        QCOMPARE(grid->cellText(0, 2), QStringLiteral("3"));
        QCOMPARE(grid->cellText(3, 0), QStringLiteral("日本語.c"));
        QCOMPARE(grid->cellText(3, 2), QStringLiteral("1"));
    }

    void refusedChangesAndDownloadsAreReported()
    {
        m_prompter->expect(Kind::Message, QStringLiteral("ディレクトリが存在するか確認して下さい！"))
            .expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [secret.c]"));
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            RemoteBrowserDialog& b = browser(form5);
            const QStringList before = entries(form5);
            select(form5, {QStringLiteral("noentry")});
            b.enterSelected();
            QCOMPARE(b.currentDirectory(), QStringLiteral("/"));
            QCOMPARE(entries(form5), before);
            select(form5, {QStringLiteral("locked")});
            b.enterSelected();
            select(form5, {QStringLiteral("secret.c")});
            b.RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
        });
        QVERIFY(m_window->analysisList()->entries().isEmpty());
        QVERIFY(!QFile::exists(download(QStringLiteral("secret.c"))));
    }

    void aFileRemovedFromTheListIsFetchedAgainOverItsCopy()
    {
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            select(form5, {QStringLiteral("readme.c")});
            browser(form5).RegisterSelectedFiles();
            m_dir->write(QStringLiteral("prog/srv/readme.c"), "changed locally\n");
            m_window->analysisList()->removeEntries({0});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
        });
        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/readme.c")), QByteArray("// top\n"));
    }

    void failedLoginsLeaveAnEmptyBrowser()
    {
        m_prompter->expect(Kind::Message, QStringLiteral("接続に失敗しました！！"));
        connectTo(m_server->address(), QStringLiteral("wrong"), [&](QDialog& form5) {
            QVERIFY(entries(form5).isEmpty());
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
        });
        const quint16 closed = m_server->port();
        m_server.reset(); // nothing listens there any more
        m_prompter->expect(Kind::Message, QStringLiteral("接続に失敗しました！！"));
        connectTo(QStringLiteral("127.0.0.1:%1").arg(closed), QStringLiteral("secret"),
                  [&](QDialog& form5) { QVERIFY(entries(form5).isEmpty()); });
    }

    // Names that climb out, absolute names, names of dots: only files inside the download folder
    // are written, the rest is refused with the failure message, and everything else registers.
    void hostileNamesNeverLeaveTheDownloadFolder()
    {
        m_dir->mkdir(QStringLiteral("outside"));
        const QByteArray absolute = QFile::encodeName(m_dir->path(QStringLiteral("outside/abs.c")));
        startHostile({QStringLiteral("--listing"),
                      listingOf({"../../x.c", absolute, "a/../../b.c", "sub/../../evil.c", "..", ".", "x ..",
                                 "...", "....", "ok.c", "..\\..\\w.c", "../"})});
        for (const QByteArray& refused : {QByteArray("../../x.c"), absolute, QByteArray("a/../../b.c"),
                                          QByteArray("sub/../../evil.c"), QByteArray("../")})
            m_prompter->expect(Kind::Message, u"ファイルの取得に失敗しました！！ >> [" + QString::fromUtf8(refused) + u']');
        const QStringList shown{QStringLiteral("../../x.c"), QString::fromUtf8(absolute), QStringLiteral("a/../../b.c"),
                                QStringLiteral("sub/../../evil.c"), QStringLiteral("..."), QStringLiteral("...."),
                                QStringLiteral("ok.c"), QStringLiteral("..\\..\\w.c"), QStringLiteral("../")};
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            QStringList expected{QStringLiteral("3:..")};
            for (const QString& name : shown)
                expected << u"2:" + name;
            QCOMPARE(entries(form5), expected); // the server's "." and ".." never appear
            select(form5, shown);
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は4ファイルです"));
        });
        const QStringList inside{QStringLiteral("..."), QStringLiteral("...."), QStringLiteral("ok.c"),
                                 QStringLiteral("..\\..\\w.c")};
        QStringList registered;
        for (const QString& name : inside)
            registered << download(name);
        QCOMPARE(m_window->analysisList()->entries(), registered);
        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/ok.c")), QByteArray("RETR ok.c\n"));
        // Nothing else anywhere in the test's folder: the settings, the served tree, the listing.
        QStringList written;
        QDirIterator it(m_dir->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            written << QDir(m_dir->path()).relativeFilePath(it.next());
        written.sort();
        QStringList expectedFiles{QStringLiteral("Tarvik.ini"), QStringLiteral("listing")};
        for (const QString& name : inside)
            expectedFiles << u"prog/srv/" + name;
        for (const QString& served : QDir(m_dir->path(QStringLiteral("root"))).entryList(QDir::Files))
            expectedFiles << u"root/" + served;
        for (const char* deep : {"root/locked/secret.c", "root/src/main.c", "root/src/util.c", "root/src/deep/inner/x.c"})
            expectedFiles << QString::fromLatin1(deep);
        expectedFiles.sort();
        QCOMPARE(written, expectedFiles);
    }

    // Control characters are shown as symbols, direction overrides dropped; a name cut at a NUL
    // or holding control characters is never fetched under another name.
    void namesWithControlCharactersAreShownSafely()
    {
        // And the longest name a Linux file system takes, and a longer one that it does not.
        const QByteArray n255 = QByteArray(253, 'n') + ".c";
        const QByteArray n260 = QByteArray(258, 'm') + ".c";
        startHostile({QStringLiteral("--listing"),
                      listingOf({"tab\there.c", "esc\x1b[31mred.c", QByteArray("nul\0cut.c", 9), "rlo\xe2\x80\xae" "c.exe",
                                 "<b>bold.c", "cr\rDELE x.c", "ok.c", n255, n260})});
        m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [tab␉here.c]"))
            .expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [esc␛[31mred.c]"))
            .expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [nul␀cut.c]"))
            .expect(Kind::Message, u"ファイルの取得に失敗しました！！ >> [" + QString::fromLatin1(n260) + u']');
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            // A lone CR ends a line in an ASCII listing: "cr" is a file, "DELE x.c" an unparsed
            // line, shown as a directory by its last word.
            QCOMPARE(entries(form5), (QStringList{QStringLiteral("3:.."), QStringLiteral("1:x.c"),
                                                  QStringLiteral("2:tab␉here.c"), QStringLiteral("2:esc␛[31mred.c"),
                                                  QStringLiteral("2:nul␀cut.c"), QStringLiteral("2:rlo\uFFFDc.exe"),
                                                  QStringLiteral("2:<b>bold.c"), QStringLiteral("2:cr"),
                                                  QStringLiteral("2:ok.c"), u"2:" + QString::fromLatin1(n255),
                                                  u"2:" + QString::fromLatin1(n260)}));
            select(form5, {QStringLiteral("tab␉here.c"), QStringLiteral("esc␛[31mred.c"), QStringLiteral("nul␀cut.c"),
                           QStringLiteral("rlo\uFFFDc.exe"), QStringLiteral("<b>bold.c"), QStringLiteral("ok.c"),
                           QString::fromLatin1(n255), QString::fromLatin1(n260)});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は4ファイルです"));
        });
        QCOMPARE(m_window->analysisList()->entries(),
                 (QStringList{download(QStringLiteral("rlo\u202Ec.exe")), download(QStringLiteral("<b>bold.c")),
                              download(QStringLiteral("ok.c")), download(QString::fromLatin1(n255))}));
        QCOMPARE(QDir(m_dir->path(QStringLiteral("prog/srv"))).entryList(QDir::Files | QDir::Hidden).size(), 4);
        const QList<QByteArray> commands = tarvik::test::outputLines(m_server->takeOutput());
        QVERIFY(!commands.contains("RETR nul"));
        for (const QByteArray& command : commands)
            QVERIFY2(!command.startsWith("DELE") && !command.contains('\x1b'), command.constData());
    }

    // "ok.c" NUL ".txt" beside "ok.c": a row of its own, refused with the fetch-failure message,
    // and the ordinary "ok.c" still downloads.
    void aNameWithANulIsShownApartAndNeverFetched()
    {
        startHostile({QStringLiteral("--listing"), listingOf({"ok.c", QByteArray("ok.c\0.txt", 9), "other.c"})});
        m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [ok.c␀.txt]"));
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            QCOMPARE(entries(form5), (QStringList{QStringLiteral("3:.."), QStringLiteral("2:ok.c"),
                                                  QStringLiteral("2:ok.c␀.txt"), QStringLiteral("2:other.c")}));
            select(form5, {QStringLiteral("ok.c"), QStringLiteral("ok.c␀.txt")});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
        });
        QCOMPARE(m_window->analysisList()->entries(), QStringList{download(QStringLiteral("ok.c"))});
        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/ok.c")), QByteArray("RETR ok.c\n"));
    }

    // The message box shows a name as text: a name that looks like markup stays as it is.
    void messagesAreNeverMarkup()
    {
        DialogPrompter prompter;
        Qt::TextFormat format = Qt::AutoText;
        QString text;
        QTimer closer;
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                text = box->text();
                box->accept();
            }
        });
        closer.start();
        const QString message = QStringLiteral("ファイルの取得に失敗しました！！ >> [<img src=x>.c]");
        prompter.message(nullptr, message, UserPrompter::Icon::Warning);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(text, message);
    }

    // A directory of 100,000 entries is listed whole, in server order; the window was served
    // while the listing came.
    void aHundredThousandEntries()
    {
        startHostile({QStringLiteral("--entries"), QStringLiteral("100000")});
        EventLoopTicks ticks;
        QElapsedTimer timer;
        timer.start();
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            qInfo("connected and listed 100,000 entries in %lld ms", static_cast<long long>(timer.elapsed()));
            QVERIFY(ticks.count > 0);
            auto* list = child<QTreeWidget>(form5, "ListView1");
            QCOMPARE(list->topLevelItemCount(), 100001);
            for (int i = 0; i < 100000; ++i) {
                QTreeWidgetItem* item = list->topLevelItem(i + 1);
                if (item->text(0) != QStringLiteral("f%1.c").arg(i, 7, 10, QLatin1Char('0'))
                    || item->data(0, Qt::UserRole).toInt() != RemoteBrowserDialog::FileIcon)
                    QFAIL(qPrintable(QStringLiteral("entry %1: %2").arg(i).arg(item->text(0))));
            }
            select(form5, {QStringLiteral("f0099999.c")});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
            timer.restart();
        });
        qInfo("closed in %lld ms", static_cast<long long>(timer.elapsed()));
    }

    // A server that stops answering: the browser reports each failure with its message, keeps
    // the window painted while it waits, and goes on once the server answers again.
    void stalledServersNeverHangTheWindow()
    {
        m_window->setFtpTimeouts(shortStall());
        startHostile({QStringLiteral("--on"), QStringLiteral("LIST=stall-data"), QStringLiteral("--on"),
                      QStringLiteral("RETR=stall-data"), QStringLiteral("--retr-bytes"), QStringLiteral("100000"),
                      QStringLiteral("--once")});
        m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [ソース.c]"));
        EventLoopTicks ticks;
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            QCOMPARE(entries(form5), QStringList{QStringLiteral("3:..")}); // the listing stalled
            QVERIFY(ticks.count > 0);
            select(form5, {QStringLiteral("..")});
            browser(form5).enterSelected();
            QCOMPARE(entries(form5).size(), 6);
            select(form5, {QStringLiteral("ソース.c")});
            ticks.count = 0;
            browser(form5).RegisterSelectedFiles(); // the download stalls
            QVERIFY(ticks.count > 0);
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
            QVERIFY(m_window->analysisList()->entries().isEmpty());
            QVERIFY(QDir(m_dir->path(QStringLiteral("prog/srv"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
        });
        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/ソース.c")).size(), 100000 / 8 * 7);

        m_window->setFtpTimeouts(shortConnect());
        startHostile({QStringLiteral("--on"), QStringLiteral("CONNECT=silent")});
        m_prompter->expect(Kind::Message, QStringLiteral("接続に失敗しました！！"));
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) { QVERIFY(entries(form5).isEmpty()); });
    }

    // The server hangs up or goes away: every operation fails with its message and the browser still
    // closes.
    void closedConnectionsAreReported()
    {
        startHostile({QStringLiteral("--on"), QStringLiteral("RETR=close-data"), QStringLiteral("--retr-bytes"),
                      QStringLiteral("100000")});
        m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [ソース.c]"))
            .expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [ソース.c]"))
            .expect(Kind::Message, QStringLiteral("ディレクトリが存在するか確認して下さい！"));
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            select(form5, {QStringLiteral("ソース.c")});
            browser(form5).RegisterSelectedFiles(); // hung up in the middle of the download
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
            m_server.reset(); // and now gone for good
            browser(form5).RegisterSelectedFiles();
            select(form5, {QStringLiteral("dir")}); // "dos dir", by its last word
            browser(form5).enterSelected();
            QCOMPARE(browser(form5).currentDirectory(), QStringLiteral("/"));
        });
        QVERIFY(m_window->analysisList()->entries().isEmpty());
        QVERIFY(QDir(m_dir->path(QStringLiteral("prog/srv"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // A transfer broken off with a failure reply, or ended with a success reply before the size
    // the server itself gives: nothing registers.
    void partialDownloadsNeverRegister()
    {
        for (const QString& on : {QStringLiteral("RETR=abort-data"), QStringLiteral("RETR=short-data")}) {
            startHostile({QStringLiteral("--on"), on, QStringLiteral("--retr-bytes"), QStringLiteral("100000")});
            m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [ソース.c]"));
            connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
                select(form5, {QStringLiteral("ソース.c")});
                browser(form5).RegisterSelectedFiles();
                QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
            });
            QVERIFY(m_window->analysisList()->entries().isEmpty());
            QVERIFY(QDir(m_dir->path(QStringLiteral("prog/srv"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        }
    }

    // A download larger than the space left: refused, the old copy intact, nothing registered.
    void aFullDiskKeepsTheOldCopy()
    {
        const QString small = m_dir->mkdir(QStringLiteral("small"));
        tarvik::test::SmallFileSystem disk(small, 256 * 1024);
        if (!disk.mounted())
            QSKIP("a tmpfs cannot be mounted here");
        m_window->setDownloadRoot(small);
        m_dir->write(QStringLiteral("small/srv/big.c"), "old copy\n");
        startHostile({QStringLiteral("--listing"), listingOf({"big.c"}), QStringLiteral("--retr-bytes"),
                      QStringLiteral("1048576")});
        m_prompter->expect(Kind::Message, QStringLiteral("ファイルの取得に失敗しました！！ >> [big.c]"));
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            select(form5, {QStringLiteral("big.c")});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(mainStatus(), QStringLiteral("登録数は0ファイルです"));
        });
        QVERIFY(m_window->analysisList()->entries().isEmpty());
        QCOMPARE(QDir(m_dir->path(QStringLiteral("small/srv"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("big.c")});
        QCOMPARE(m_dir->read(QStringLiteral("small/srv/big.c")), QByteArray("old copy\n"));
    }

    // A server some way off (20 ms before every reply and every data connection): three files
    // registered in one go arrive whole, round after round, with a SIZE reply and without.
    void aSlowServerSendsEveryRegisteredFileWhole()
    {
        for (bool withSize : {true, false}) {
            QStringList arguments{QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("--listing"),
                                  listingOf({"a.c", "b.c", "c.c"})};
            if (withSize)
                arguments << QStringLiteral("--retr-bytes") << QStringLiteral("4000");
            startHostile(arguments);
            connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
                for (int round = 0; round < 3; ++round) {
                    m_window->analysisList()->removeEntries({0, 1, 2});
                    select(form5, {QStringLiteral("a.c"), QStringLiteral("b.c"), QStringLiteral("c.c")});
                    browser(form5).RegisterSelectedFiles();
                    QCOMPARE(mainStatus(), QStringLiteral("登録数は3ファイルです"));
                    for (const char* name : {"a.c", "b.c", "c.c"}) {
                        const QByteArray whole = withSize ? QByteArray("int x;\n").repeated(500)
                                                          : "RETR " + QByteArray(name) + '\n';
                        QCOMPARE(m_dir->read(QStringLiteral("prog/srv/") + QString::fromLatin1(name)), whole);
                    }
                }
            });
        }
    }

    void hostsAreSelectedAndDeleted()
    {
        m_dir->write(QStringLiteral("Tarvik.ini"),
                     "[FTP_Server]\r\nFTP_List=ab,cab\r\nFTP_cab=cab,h2,u2,R;\r\nFTP_ab=ab,h1,u1,R\r\n");
        m_dialogs->then([&](QDialog& form4) {
            auto* list = child<QListWidget>(form4, "List1");
            QCOMPARE(list->count(), 2);
            list->setCurrentRow(1);
            emit list->itemClicked(list->currentItem());
            QCOMPARE(child<QLineEdit>(form4, "Text2")->text(), QStringLiteral("h2"));
            QCOMPARE(child<QLineEdit>(form4, "Text4")->text(), QStringLiteral("a;"));
            QVERIFY(child<QPushButton>(form4, "Command3")->isEnabled());
            child<QLineEdit>(form4, "Text3")->setText(QStringLiteral("other"));
            QVERIFY(!child<QPushButton>(form4, "Command1")->isEnabled());
            QVERIFY(!child<QPushButton>(form4, "Command3")->isEnabled());
            list->setCurrentRow(0);
            emit list->itemClicked(list->currentItem());
            child<QPushButton>(form4, "Command3")->click();
            QCOMPARE(list->count(), 1);
            QCOMPARE(child<QLineEdit>(form4, "Text1")->text(), QString());
            QVERIFY(!child<QPushButton>(form4, "Command2")->isEnabled());
            form4.reject();
        });
        m_window->OpenServerDialog();
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), QByteArray("[FTP_Server]\r\nFTP_List=cab\r\nFTP_cab=cab,h2,u2,R;\r\n"));
    }

    void hostsChosenWithTheKeysFillTheBoxesAndThePasswordShowsAsStars()
    {
        m_dir->write(QStringLiteral("Tarvik.ini"),
                     "[FTP_Server]\r\nFTP_List=ab,cab\r\nFTP_cab=cab,h2,u2,R;\r\nFTP_ab=ab,h1,u1,R\r\n");
        m_dialogs->then([&](QDialog& form4) {
            form4.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form4));
            auto* list = child<QListWidget>(form4, "List1");
            list->setCurrentRow(0, QItemSelectionModel::NoUpdate); // where the focus puts the cursor
            QVERIFY(!child<QPushButton>(form4, "Command1")->isEnabled());
            const std::pair<Qt::Key, const char*> steps[] = {{Qt::Key_Down, "h2"}, {Qt::Key_Up, "h1"}};
            for (const auto& [key, host] : steps) {
                QTest::keyClick(list, key);
                QCOMPARE(child<QLineEdit>(form4, "Text2")->text(), QString::fromLatin1(host));
                QVERIFY(child<QPushButton>(form4, "Command1")->isEnabled());
                QVERIFY(child<QPushButton>(form4, "Command3")->isEnabled());
            }
            QCOMPARE(child<QLineEdit>(form4, "Text4")->displayText(), QStringLiteral("*"));
            form4.reject();
        });
        m_window->OpenServerDialog();
    }

    // A host typed as ftps:// is passive unless the user says otherwise, and the choice is kept
    // with the host. A certificate the system does not trust is shown, with why it was refused;
    // once the user trusts it, its files register as a plain FTP server's do.
    void ftpsServersAreBrowsedOnceTheirCertificateIsTrusted()
    {
        TempDir certs;
        QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                   {QStringLiteral(TARVIK_SOURCE_DIR "/tests/support/make_tls_certs.py"), certs.path()}),
                 0);
        m_server = std::make_unique<FtpServer>(
            QStringLiteral("ftp_server.py"),
            QStringList{QStringLiteral("--root"), m_dir->path(QStringLiteral("root")), QStringLiteral("--user"),
                        QStringLiteral("tarvik"), QStringLiteral("--password"), QStringLiteral("secret"),
                        QStringLiteral("--tls"), certs.path(QStringLiteral("valid.pem"))});
        QVERIFY(m_server->running());
        const QString host = QStringLiteral("ftps://") + m_server->address();
        m_prompter->expect(Kind::YesNo, {}, {QStringLiteral("no")});
        m_dialogs
            ->then([&](QDialog& form4) {
                auto* passive = child<QCheckBox>(form4, "Check1");
                QTest::keyClicks(child<QLineEdit>(form4, "Text2"), QStringLiteral("ftp"));
                QVERIFY(!passive->isChecked());
                QTest::keyClicks(child<QLineEdit>(form4, "Text2"), host.mid(3));
                QVERIFY(passive->isChecked());
                passive->click(); // the user's choice from now on
                QTest::keyClick(child<QLineEdit>(form4, "Text2"), Qt::Key_Backspace);
                QTest::keyClicks(child<QLineEdit>(form4, "Text2"), host.right(1));
                QVERIFY(!passive->isChecked());
                passive->click();
                child<QLineEdit>(form4, "Text1")->setText(QStringLiteral("tls"));
                child<QLineEdit>(form4, "Text3")->setText(QStringLiteral("tarvik"));
                child<QLineEdit>(form4, "Text4")->setText(QStringLiteral("secret"));
                child<QPushButton>(form4, "Command2")->click();
                child<QPushButton>(form4, "Command1")->click(); // declined: nothing more is said
                child<QPushButton>(form4, "Command1")->click(); // trusted
                form4.reject();
            })
            .then([&](QDialog& form5) { QVERIFY(entries(form5).isEmpty()); })
            .then([&](QDialog& form5) {
                QVERIFY(entries(form5).contains(QStringLiteral("2:readme.c")));
                select(form5, {QStringLiteral("readme.c")});
                browser(form5).RegisterSelectedFiles();
                QCOMPARE(mainStatus(), QStringLiteral("登録数は1ファイルです"));
                QCOMPARE(m_dir->read(QStringLiteral("prog/tls/readme.c")), QByteArray("// top\n"));
            });
        m_prompter->expect(Kind::YesNo, {}, {QStringLiteral("yes")});
        m_window->OpenServerDialog();
        QCOMPARE(m_prompter->questions.size(), 2);
        QVERIFY(m_prompter->questions[0].startsWith(host + QStringLiteral(" の証明書を確認できませんでした。\nSSL certificate problem: "
                                                                         "unable to get local issuer certificate\n\n発行先：")));
        QVERIFY(m_prompter->questions[0].contains(QStringLiteral("SHA-256：")));
        const QByteArray ini = m_dir->read(QStringLiteral("Tarvik.ini"));
        QVERIFY(ini.contains(QByteArray(QByteArray("FTP_tls=tls,") + host.toUtf8() + ",tarvik,")));
        QVERIFY(ini.contains(",passive\r\n"));
        QVERIFY(ini.contains(QByteArray(QByteArray("[FTP_Trust]\r\n") + host.toUtf8() + "=sha256//")));

        // Trusted once, the server is browsed at once.
        m_dialogs
            ->then([&](QDialog& form4) {
                auto* list = child<QListWidget>(form4, "List1");
                list->setCurrentRow(0);
                emit list->itemClicked(list->currentItem());
                QVERIFY(child<QCheckBox>(form4, "Check1")->isChecked());
                child<QPushButton>(form4, "Command1")->click();
                form4.reject();
            })
            .then([&](QDialog& form5) { QVERIFY(!entries(form5).isEmpty()); });
        m_window->OpenServerDialog();
        QCOMPARE(m_prompter->questions.size(), 2);
    }

    // An SFTP host: the mode box means nothing there; an unknown host key is shown and taken
    // only when the user accepts it, a changed one is refused with a warning. The user's own key
    // file logs in, and files register as from an FTP server.
    void sftpServersAreBrowsedOnceTheirHostKeyIsAccepted()
    {
        TempDir keys, home;
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
        home.mkdir(QStringLiteral(".ssh"));
        for (const QString& key : {keys.path(QStringLiteral("host")), keys.path(QStringLiteral("other")),
                                   home.path(QStringLiteral(".ssh/id_ed25519"))})
            QCOMPARE(QProcess::execute(QStringLiteral("ssh-keygen"), {u"-q"_qs, u"-t"_qs, u"ed25519"_qs, u"-N"_qs, QString(), u"-f"_qs, key}), 0);
        m_server = std::make_unique<FtpServer>(
            QStringLiteral("sftp_server.py"),
            QStringList{u"--root"_qs, m_dir->path(QStringLiteral("root")), u"--host-key"_qs, keys.path(QStringLiteral("host")),
                        u"--authorized-keys"_qs, home.path(QStringLiteral(".ssh/id_ed25519.pub"))});
        if (!m_server->skipped().isEmpty())
            QSKIP(qPrintable(m_server->skipped()));
        QVERIFY(m_server->running());
        const QString host = QStringLiteral("sftp://") + m_server->address();
        auto connectOnce = [&](const std::function<void(QDialog&)>& browse) {
            m_dialogs
                ->then([&](QDialog& form4) {
                    child<QLineEdit>(form4, "Text1")->setText(QStringLiteral("ssh"));
                    QTest::keyClicks(child<QLineEdit>(form4, "Text2"), host);
                    QVERIFY(!child<QCheckBox>(form4, "Check1")->isEnabled());
                    child<QPushButton>(form4, "Command2")->click();
                    child<QPushButton>(form4, "Command1")->click();
                    form4.reject();
                })
                .then(browse);
            m_window->OpenServerDialog();
        };
        m_prompter->expect(Kind::YesNo, {}, {QStringLiteral("yes")});
        connectOnce([&](QDialog& form5) {
            QVERIFY(entries(form5).contains(QStringLiteral("2:readme.c")));
            select(form5, {QStringLiteral("readme.c")});
            browser(form5).RegisterSelectedFiles();
            QCOMPARE(m_dir->read(QStringLiteral("prog/ssh/readme.c")), QByteArray("// top\n"));
        });
        QCOMPARE(m_prompter->questions.size(), 1);
        QProcess show;
        show.start(QStringLiteral("ssh-keygen"), {u"-l"_qs, u"-f"_qs, keys.path(QStringLiteral("host.pub"))});
        QVERIFY(show.waitForFinished());
        const QString shown = QString::fromUtf8(show.readAllStandardOutput().split(' ').value(1));
        QVERIFY(m_prompter->questions[0].startsWith(host + QStringLiteral(" のホスト鍵は known_hosts にありません。")));
        QVERIFY2(m_prompter->questions[0].contains(shown), qPrintable(m_prompter->questions[0]));
        QVERIFY(home.read(QStringLiteral(".ssh/known_hosts")).contains(" ssh-ed25519 "));

        // Another key for the same server: refused, and never asked about.
        home.write(QStringLiteral(".ssh/known_hosts"), QStringLiteral("[127.0.0.1]:%1 ").arg(m_server->port()).toUtf8()
                                                           + keys.read(QStringLiteral("other.pub")));
        m_prompter->expect(Kind::Message, {});
        connectOnce([&](QDialog& form5) { QVERIFY(entries(form5).isEmpty()); });
        QCOMPARE(m_prompter->questions.size(), 1);
        QVERIFY(m_prompter->messages.last().contains(QStringLiteral("なりすまされている恐れがあるため、接続しません")));
    }

    void aRecordTheSettingsFileCannotHoldIsRefusedWithAMessage()
    {
        const QByteArray before = "[FTP_Server]\r\nFTP_List=ab\r\nFTP_ab=ab,h1,u1,R\r\n";
        m_dir->write(QStringLiteral("Tarvik.ini"), before);
        const QString refusal = QStringLiteral("パスワードに使えない文字（改行などの制御文字）が含まれています。");
        m_prompter->expect(ScriptedPrompter::Kind::Message, refusal).expect(ScriptedPrompter::Kind::Message, refusal);
        m_dialogs->then([&](QDialog& form4) {
            auto* list = child<QListWidget>(form4, "List1");
            list->setCurrentRow(0);
            emit list->itemClicked(list->currentItem());
            // U+001C would be stored as a CR and split the record over two lines.
            child<QLineEdit>(form4, "Text4")->setText(QStringLiteral("x") + QChar(0x1C));
            child<QPushButton>(form4, "Command2")->click();
            child<QLineEdit>(form4, "Text1")->setText(QStringLiteral("cd"));
            child<QPushButton>(form4, "Command2")->click();
            QCOMPARE(list->count(), 1);
            form4.reject();
        });
        m_window->OpenServerDialog();
        QVERIFY(m_prompter->done());
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), before);
    }

private:
    QString m_settingsValue(const char* key)
    {
        return SettingsStore(m_dir->path(QStringLiteral("Tarvik.ini"))).read(QStringLiteral("FTP_Server"), QString::fromLatin1(key));
    }
};

QTEST_MAIN(FtpDialogsTest)
#include "FtpDialogsTest.moc"
