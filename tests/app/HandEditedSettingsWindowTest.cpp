// The window over a hand-edited or unwritable Tarvik.ini: it starts, sets its check marks by
// the single-key rules, and treats refused single-key writes silently, never losing the file.
#include "app/MainWindow.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>
#include <sys/stat.h>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

class HandEditedSettingsWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;

    QString iniPath() const { return m_dir->path(QStringLiteral("Tarvik.ini")); }
    MainWindow& open()
    {
        m_window = std::make_unique<MainWindow>(iniPath(), *m_prompter, *m_launcher);
        return *m_window;
    }
    QAction* action(const char* name) const { return m_window->findChild<QAction*>(QString::fromUtf8(name)); }
    // Confirmed exit: the five window keys are written (or silently refused).
    void exitWithYes()
    {
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(m_window->close());
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
    }

    void repeatedKeysBlanksAndAByteOrderMark()
    {
        m_dir->write(QStringLiteral("Tarvik.ini"),
                     "\xEF\xBB\xBF[Mode]\nCount_Mode=0\nCount_Mode=1\nnot a key line\n[mode]\nSerch_Mode=0\n"
                     "[Engin]\nList = c,py\nLang_c=C_STYLE,C,1\n  Lang_py  =HASH,Python,0\n[DIR]\nState = 2\n");
        MainWindow& w = open();
        QVERIFY(!action("Mn_Kigou")->isChecked());        // the first Count_Mode
        QVERIFY(action("Mn_Serch_Sub_0")->isChecked());   // only in the repeated section: absent
        QCOMPARE(action("Mn_Serch_Sub_1")->text(), QStringLiteral(" c")); // the value as written after "="
        QVERIFY(!(w.windowState() & Qt::WindowMaximized)); // " 2" is not "2"
        action("Mn_Kigou")->trigger();
        QCOMPARE(SettingsStore(iniPath()).read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")), QStringLiteral("1"));
        exitWithYes();
        const QByteArray after = m_dir->read(QStringLiteral("Tarvik.ini"));
        QVERIFY(after.startsWith("\xEF\xBB\xBF[Mode]\r\nCount_Mode=1\r\nCount_Mode=1\r\nnot a key line\r\n[mode]\r\nSerch_Mode=0\r\n"));
    }

    void aTenMegabyteLineAndCp932()
    {
        // "ソース" in CP932 (83 5C 81 5B 83 58) as the default directory.
        const QByteArray huge(10 << 20, 'x');
        const QByteArray original = "[DIR]\r\nDef_Dir=/\x83\x5c\x81\x5b\x83\x58\r\nJunk=" + huge
                                    + "\r\n[Mode]\r\nCount_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n";
        m_dir->write(QStringLiteral("Tarvik.ini"), original);
        MainWindow& w = open();
        QCOMPARE(w.fileDialogDirectory(), QStringLiteral("/ソース"));
        QVERIFY(action("Mn_Kigou")->isChecked());
        action("Mn_Kigou")->trigger();
        exitWithYes();
        const QByteArray after = m_dir->read(QStringLiteral("Tarvik.ini"));
        QVERIFY(after.startsWith(QByteArray("[DIR]\r\nDef_Dir=/\x83\x5c\x81\x5b\x83\x58\r\nJunk=" + huge + "\r\n")));
        QVERIFY(after.contains("Count_Mode=0\r\n"));
        QVERIFY(after.contains("State=0\r\n"));
    }

    void aReadOnlyFileStaysAsItWasWithoutAMessage()
    {
        const QByteArray original = "[Mode]\r\nCount_Mode=1\r\n[DIR]\r\nState=0\r\n";
        const QString path = m_dir->write(QStringLiteral("Tarvik.ini"), original);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther);
        open();
        action("Mn_Kigou")->trigger();              // refused: no message, the mark still moves
        QVERIFY(!action("Mn_Kigou")->isChecked());
        action("Mn_Serch_Sub_0")->trigger();
        exitWithYes();
        QCOMPARE(m_dir->read(QStringLiteral("Tarvik.ini")), original);
    }

    // A settings file that is there but cannot be read: the window says so once, starts with the
    // defaults, never waits on a FIFO, and never puts a file of its own in its place.
    void aSettingsFileThatCannotBeReadIsReportedAndKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("over 16 MiB") << QStringLiteral("big");
        QTest::newRow("UTF-16 without its mark") << QStringLiteral("utf16");
    }
    void aSettingsFileThatCannotBeReadIsReportedAndKept()
    {
        QFETCH(QString, kind);
        QByteArray big = "[Mode]\r\nCount_Mode=0\r\n";
        big += QByteArray((16 << 20) + 1 - big.size(), ';');
        if (kind == u"utf16")
            big = QByteArray(reinterpret_cast<const char*>(u"[Mode]\r\nCount_Mode=0\r\n"), 44);
        if (kind == u"folder")
            m_dir->mkdir(QStringLiteral("Tarvik.ini"));
        else if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(iniPath()).constData(), 0644), 0);
        else
            m_dir->write(QStringLiteral("Tarvik.ini"), big);
        m_prompter->expect(Kind::Message, {});
        open();
        QVERIFY(m_prompter->messages.value(0).startsWith(QStringLiteral("設定ファイルを読めないため")));
        QVERIFY(m_prompter->messages.value(0).contains(iniPath()));
        QVERIFY(action("Mn_Kigou")->isChecked()); // nothing read: the defaults
        action("Mn_Kigou")->trigger();
        exitWithYes();
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(iniPath()).constData(), &st), 0);
        if (kind == u"folder")
            QVERIFY(S_ISDIR(st.st_mode));
        else if (kind == u"fifo")
            QVERIFY(S_ISFIFO(st.st_mode));
        else
            QVERIFY(m_dir->read(QStringLiteral("Tarvik.ini")) == big);
    }
};

QTEST_MAIN(HandEditedSettingsWindowTest)
#include "HandEditedSettingsWindowTest.moc"
