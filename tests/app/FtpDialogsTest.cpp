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
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

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

    void hostileNamesNeverLeaveTheDownloadFolder()
    {
        m_server = std::make_unique<FtpServer>(QStringLiteral("hostile_ftp_server.py"), QStringList{});
        QVERIFY(m_server->running());
        m_prompter->expect(Kind::Message, {}).expect(Kind::Message, {}).expect(Kind::Message, {});
        connectTo(m_server->address(), QStringLiteral("secret"), [&](QDialog& form5) {
            QStringList files;
            for (const QString& e : entries(form5))
                if (e.startsWith(u'2'))
                    files << e.mid(2);
            QVERIFY(files.contains(QStringLiteral("../../x.c")));
            select(form5, files);
            browser(form5).RegisterSelectedFiles();
        });
        for (const QString& m : std::as_const(m_prompter->messages))
            QVERIFY2(m.startsWith(QStringLiteral("ファイルの取得に失敗しました！！ >> [")), qPrintable(m));
        QVERIFY(!QFile::exists(m_dir->path(QStringLiteral("x.c"))));
        QVERIFY(!QFile::exists(m_dir->path(QStringLiteral("prog/x.c"))));
        QVERIFY(!QFile::exists(m_dir->path(QStringLiteral("evil.c"))));
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

private:
    QString m_settingsValue(const char* key)
    {
        return SettingsStore(m_dir->path(QStringLiteral("Tarvik.ini"))).read(QStringLiteral("FTP_Server"), QString::fromLatin1(key));
    }
};

QTEST_MAIN(FtpDialogsTest)
#include "FtpDialogsTest.moc"
