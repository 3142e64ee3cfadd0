// Tarvik.ini as people leave it after editing it by hand, and as the file system leaves it:
// repeated sections and keys, blanks, stray lines, huge lines, other line ends and encodings,
// read-only files and folders, a folder in its place, and a writer killed mid-write.
#include "cli/CountCommand.h"
#include "config/FileTypeEditor.h"
#include "config/NativePath.h"
#include "config/SettingsStore.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

class HandEdited : public ::testing::Test {
protected:
    QString ini(const QByteArray& content) { return m_dir.write(QStringLiteral("Tarvik.ini"), content); }
    QByteArray content() const { return m_dir.read(QStringLiteral("Tarvik.ini")); }
    QString read(const char* section, const char* key)
    {
        return SettingsStore(m_dir.path(QStringLiteral("Tarvik.ini"))).read(QString::fromUtf8(section), QString::fromUtf8(key));
    }
    bool write(const char* section, const char* key, const QString& value)
    {
        return SettingsStore(m_dir.path(QStringLiteral("Tarvik.ini")))
            .WriteSetting(QString::fromUtf8(section), QString::fromUtf8(key), value);
    }
    QStringList filesBeside() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden); }

    TempDir m_dir;
};

} // namespace

TEST_F(HandEdited, RepeatedSectionsAndKeysReadAndWriteTheFirst)
{
    const QByteArray original = "[Mode]\r\nCount_Mode=0\r\nCount_Mode=1\r\n[DIR]\r\nState=2\r\n"
                                "[mode]\r\nSerch_Mode=0\r\nCount_Mode=1\r\n";
    ini(original);
    EXPECT_EQ(read("MODE", "count_mode"), u"0");
    EXPECT_EQ(read("Mode", "Serch_Mode"), QString()); // only in the repeated section: not read
    ASSERT_TRUE(write("Mode", "Count_Mode", QStringLiteral("1")));
    ASSERT_TRUE(write("Mode", "Serch_Mode", QStringLiteral("1")));
    EXPECT_EQ(read("Mode", "Count_Mode"), u"1");
    EXPECT_EQ(read("Mode", "Serch_Mode"), u"1");
    // The first key changed in place, the new key closes the first section, the rest as it was.
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\nCount_Mode=1\r\nSerch_Mode=1\r\n[DIR]\r\nState=2\r\n"
                                    "[mode]\r\nSerch_Mode=0\r\nCount_Mode=1\r\n"));
}

TEST_F(HandEdited, BlanksAroundTheEqualsSignAndLinesWithoutOne)
{
    ini("[Mode]\r\n  Count_Mode  =  0  \r\nthis line has no equals sign\r\n\tSerch_Mode\t=0\r\n=orphan\r\n[ DIR ]\r\nState =2\r\n");
    // Names are found whatever the blanks; the value keeps what follows "=" (a leading blank is
    // part of it, which is why " 0" is not "0": the option reads as on).
    EXPECT_EQ(read("Mode", "Count_Mode"), u"  0");
    EXPECT_EQ(read("Mode", "Serch_Mode"), u"0");
    EXPECT_EQ(read("DIR", "State"), u"2");
    EXPECT_EQ(read("Mode", "this line has no equals sign"), QString());
    ASSERT_TRUE(write("Mode", "Count_Mode", QStringLiteral("1")));
    ASSERT_TRUE(write("DIR", "Def_Dir", QStringLiteral("/src")));
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\nthis line has no equals sign\r\n\tSerch_Mode\t=0\r\n"
                                    "=orphan\r\n[ DIR ]\r\nState =2\r\nDef_Dir=/src\r\n"));
}

TEST_F(HandEdited, ATenMegabyteLineIsReadCutAndKeptWhole)
{
    const QByteArray huge(10 << 20, 'v');
    const QByteArray head = "[Engin]\r\nList=" + huge + "\r\n";
    const QByteArray tail = "\r\nLang_c=C_STYLE,C,1\r\n[Mode]\r\nCount_Mode=0\r\n";
    // The whole file is exactly 16 MiB, the most a settings file may hold.
    const QByteArray junk((16 << 20) - head.size() - tail.size(), '#');
    const QByteArray original = head + junk + tail;
    ini(original);
    EXPECT_EQ(read("Engin", "List"), QString(499, u'v'));
    EXPECT_EQ(read("Engin", "Lang_c"), u"C_STYLE,C,1");
    EXPECT_EQ(read("Mode", "Count_Mode"), u"0");
    ASSERT_TRUE(write("Mode", "Count_Mode", QStringLiteral("1")));
    QByteArray expected = original;
    expected.replace("Count_Mode=0", "Count_Mode=1");
    EXPECT_EQ(content(), expected);
    // A write that would take it over the bound is refused: the file could not be read again.
    EXPECT_FALSE(write("Mode", "Serch_Mode", QStringLiteral("1")));
    EXPECT_EQ(content(), expected);
    // Editing the file-type table would need the whole List: refused, nothing lost.
    SettingsStore store(m_dir.path(QStringLiteral("Tarvik.ini")));
    QString error;
    EXPECT_FALSE(FileTypeEditor(store).add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(content(), expected);
}

TEST_F(HandEdited, LineFeedsByteOrderMarkAndCp932)
{
    ini("[Mode]\nCount_Mode=0\n[DIR]\nState=2\n");
    EXPECT_EQ(read("Mode", "Count_Mode"), u"0");
    EXPECT_EQ(read("DIR", "State"), u"2");
    ASSERT_TRUE(write("DIR", "State", QStringLiteral("0")));
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=0\r\n[DIR]\r\nState=0\r\n")); // written back with CR LF

    // A byte-order mark does not hide the first section, and stays.
    ini("\xEF\xBB\xBF[Mode]\r\nCount_Mode=0\r\n");
    EXPECT_EQ(read("Mode", "Count_Mode"), u"0");
    ASSERT_TRUE(write("Mode", "Serch_Mode", QStringLiteral("0")));
    EXPECT_EQ(content(), QByteArray("\xEF\xBB\xBF[Mode]\r\nCount_Mode=0\r\nSerch_Mode=0\r\n"));

    // CP932 whose characters hold "[", "]" and "\" bytes: "サーバー" is 83 54 81 5B 83 6F 81 5B.
    const QByteArray cp932 = "[FTP_Server]\r\nFTP_List=\x83\x54\x81\x5b\x83\x6f\x81\x5b\r\n"
                             "FTP_\x83\x54\x81\x5b\x83\x6f\x81\x5b=\x83\x54\x81\x5b\x83\x6f\x81\x5b,host,\x83\x5c\r\n";
    ini(cp932);
    EXPECT_EQ(read("FTP_Server", "FTP_List"), u"サーバー");
    EXPECT_EQ(SettingsStore(m_dir.path(QStringLiteral("Tarvik.ini"))).read(QStringLiteral("FTP_Server"), QStringLiteral("FTP_サーバー")),
              u"サーバー,host,ソ");
    ASSERT_TRUE(write("FTP_Server", "FTP_List", QStringLiteral("サーバー,ソ")));
    EXPECT_EQ(content(), QByteArray("[FTP_Server]\r\nFTP_List=\x83\x54\x81\x5b\x83\x6f\x81\x5b,\x83\x5c\r\n"
                                    "FTP_\x83\x54\x81\x5b\x83\x6f\x81\x5b=\x83\x54\x81\x5b\x83\x6f\x81\x5b,host,\x83\x5c\r\n"));
}

TEST_F(HandEdited, Utf16WithAByteOrderMarkIsReadAndWrittenBackInItsOrder)
{
    // The UTF-16 form of some text, byte-order mark first.
    auto utf16 = [](const QString& text, bool bigEndian) {
        QByteArray out;
        for (QChar c : QString(QChar(0xFEFF) + text)) {
            const char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xFF);
            out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
        }
        return out;
    };
    const QString before = QStringLiteral("[Mode]\r\nCount_Mode=0\r\n; 手で書いた行\r\n[Engin]\r\nLang_c=C_STYLE,Ｃ言語,1\r\n"
                                          "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
    const QString after = QStringLiteral("[Mode]\r\nCount_Mode=0\r\n; 手で書いた行\r\n[Engin]\r\nLang_c=C_STYLE,Ｃ言語,1\r\n"
                                         "List=c\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n[DIR]\r\nDef_Dir=/ソース\r\n");
    m_dir.write(QStringLiteral("a.c"), "}\n// c\nx;\n");
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        ini(utf16(before, bigEndian));
        EXPECT_EQ(read("Mode", "Count_Mode"), u"0");
        EXPECT_EQ(read("Engin", "Lang_c"), u"C_STYLE,Ｃ言語,1");
        CountCommand::Environment env{m_dir.path(QStringLiteral("Tarvik.ini")), m_dir.path(), false, false, 1};
        std::ostringstream out, err;
        ASSERT_EQ(CountCommand(env).execute({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("a.c")}, out, err), 0);
        EXPECT_NE(out.str().find(",Counted,1,1,3\r\n"), std::string::npos) << out.str();
        ASSERT_TRUE(write("Engin", "List", QStringLiteral("c")));
        ASSERT_TRUE(write("DIR", "Def_Dir", QStringLiteral("/ソース")));
        EXPECT_EQ(content(), utf16(after, bigEndian));
    }
}

TEST_F(HandEdited, WhatIsNotARegularFileOrIsTooLargeIsRefusedAndNeverReplaced)
{
    const QString fifo = m_dir.path(QStringLiteral("fifo.ini"));
    ASSERT_EQ(::mkfifo(pathToNative(fifo).c_str(), 0644), 0);
    const QString big = m_dir.write(QStringLiteral("big.ini"), "[Mode]\r\nCount_Mode=0\r\n");
    ASSERT_TRUE(QFile::resize(big, (16 << 20) + 1)); // one byte over the bound, the rest NUL
    // UTF-16 without its mark, which as 8-bit text would read as a file of no settings at all.
    const QString text = QStringLiteral("[Engin]\r\nLang_c=C_STYLE,Ｃ言語,1\r\n");
    const QByteArray le(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QByteArray be = le;
    for (qsizetype i = 0; i + 1 < be.size(); i += 2)
        std::swap(be[i], be[i + 1]);
    const QString utf16le = m_dir.write(QStringLiteral("le.ini"), le), utf16be = m_dir.write(QStringLiteral("be.ini"), be);
    m_dir.write(QStringLiteral("a.c"), "x;\n");
    for (const QString& path : {fifo, QStringLiteral("/dev/null"), m_dir.mkdir(QStringLiteral("dir.ini")), big, utf16le, utf16be}) {
        SCOPED_TRACE(path.toStdString());
        IniDocument doc;
        QString error;
        EXPECT_FALSE(SettingsStore::loadDocument(path, doc, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(SettingsStore(path).WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), QStringLiteral("1")));
        // tarvik-count refuses in one line, rather than wait on it or count every file as unknown.
        CountCommand::Environment env{path, m_dir.path(), false, false, 1};
        std::ostringstream out, err;
        EXPECT_EQ(CountCommand(env).execute({QStringLiteral("a.c")}, out, err), 2);
        EXPECT_EQ(err.str().rfind("tarvik-count: cannot read settings file ", 0), 0u) << err.str();
        EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << err.str();
    }
    struct stat st {};
    EXPECT_TRUE(::stat(pathToNative(fifo).c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(QFileInfo(big).size(), (16 << 20) + 1);
    EXPECT_TRUE(m_dir.read(QStringLiteral("big.ini")).startsWith("[Mode]\r\nCount_Mode=0\r\n"));
    EXPECT_EQ(m_dir.read(QStringLiteral("le.ini")) + m_dir.read(QStringLiteral("be.ini")), le + be);
}

// A write reads the file first; one it cannot read would otherwise be replaced by the new key alone.
TEST_F(HandEdited, AFileThatCannotBeReadIsNotOverwritten)
{
    // Over the size bound, which stops root as well.
    QByteArray big = "[Mode]\r\nCount_Mode=0\r\n";
    big += QByteArray((16 << 20) + 1 - big.size(), ';');
    ini(big);
    EXPECT_FALSE(write("Mode", "Count_Mode", QStringLiteral("1")));
    EXPECT_TRUE(content() == big);

    // Write-only (0222) in a folder open to all, for a user without root rights.
    const QByteArray original = "[Mode]\r\nCount_Mode=0\r\n";
    const QString path = ini(original);
    QFile::setPermissions(path, QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
    ASSERT_EQ(::chmod(pathToNative(m_dir.path()).c_str(), 0777), 0);
    const int rc = test::runUnprivileged([&] {
        return SettingsStore(path).WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), QStringLiteral("1"))
                   ? 1 : 0;
    });
    ::chmod(pathToNative(m_dir.path()).c_str(), 0755);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(content(), original);
    EXPECT_EQ(filesBeside(), QStringList{QStringLiteral("Tarvik.ini")});
}

TEST_F(HandEdited, AReadOnlyFileIsNotRewrittenEvenByRoot)
{
    const QString path = ini("[Mode]\r\nCount_Mode=1\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // Whoever runs the program: a file marked read-only is one the user does not want changed.
    EXPECT_FALSE(write("Mode", "Count_Mode", QStringLiteral("0")));
    EXPECT_EQ(read("Mode", "Count_Mode"), u"1");
    SettingsStore store(path);
    QString error;
    EXPECT_FALSE(FileTypeEditor(store).add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("設定ファイルを書き換えられませんでした。"))) << error.toStdString();
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\n"));
    EXPECT_EQ(filesBeside(), QStringList{QStringLiteral("Tarvik.ini")});
}

TEST_F(HandEdited, AReadOnlyFolderRefusesTheWriteAndKeepsTheFile)
{
    const QString path = ini("[Mode]\r\nCount_Mode=1\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                    | QFileDevice::WriteOther);
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                            | QFileDevice::ExeOther);
    // Without root rights (root writes into any folder). The file itself is writable, but a
    // rewrite in place could be cut short: no new file can be made beside it, so no write.
    int rc = test::runUnprivileged([&] {
        SettingsStore store(path);
        if (store.WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), QStringLiteral("0")))
            return 1;
        if (store.read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")) != u"1")
            return 2;
        QString error;
        if (FileTypeEditor(store).remove(QStringLiteral("c"), &error) || error.isEmpty())
            return 3;
        return 0;
    });
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\n"));
    EXPECT_EQ(filesBeside(), QStringList{QStringLiteral("Tarvik.ini")});
}

TEST_F(HandEdited, AFolderInPlaceOfTheFileReadsEmptyAndIsNeverReplaced)
{
    const QString path = m_dir.mkdir(QStringLiteral("Tarvik.ini"));
    m_dir.write(QStringLiteral("Tarvik.ini/inside"), "kept");
    EXPECT_EQ(read("Mode", "Count_Mode"), QString());
    EXPECT_EQ(SettingsStore::ReadProfileValue(path, QStringLiteral("DIR"), QStringLiteral("State"), QStringLiteral("d")), u"d");
    EXPECT_FALSE(write("Mode", "Count_Mode", QStringLiteral("0")));
    SettingsStore store(path);
    QString error;
    EXPECT_FALSE(store.rewriteLines([](const QStringList& l) { return l; }, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(m_dir.read(QStringLiteral("Tarvik.ini/inside")), QByteArray("kept"));

    // tarvik-count refuses to count with it, rather than count every file as unknown.
    m_dir.write(QStringLiteral("a.c"), "x;\n");
    CountCommand::Environment env{path, m_dir.path(), false, false, 1};
    std::ostringstream out, err;
    EXPECT_EQ(CountCommand(env).execute({QStringLiteral("a.c")}, out, err), 2);
    EXPECT_NE(err.str().find("cannot read settings file"), std::string::npos) << err.str();
}

TEST_F(HandEdited, TarvikCountFollowsTheSameRules)
{
    // A byte-order mark, LF line ends, a repeated key and repeated sections.
    ini("\xEF\xBB\xBF[Mode]\nCount_Mode=0\nCount_Mode=1\n[Engin]\nLang_c=C_STYLE,C,1\nLang_c=HASH,C,1\n"
        "[Anryze_Pat]\nC_STYLE=//,/*,*/\n[Engin]\nLang_py=HASH,Py,1\n[Anryze_Pat]\nHASH=#,,\n");
    m_dir.write(QStringLiteral("a.c"), "}\n// c\nx;\n");
    m_dir.write(QStringLiteral("b.py"), "# c\n");
    CountCommand::Environment env{m_dir.path(QStringLiteral("Tarvik.ini")), m_dir.path(), false, false, 1};
    std::ostringstream out, err;
    ASSERT_EQ(CountCommand(env).execute({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("a.c"), QStringLiteral("b.py")},
                                        out, err),
              0)
        << err.str();
    const std::string dir = pathToNative(m_dir.path());
    // Count_Mode is the first "0": the brace line is blank. Lang_c is the first entry; Lang_py
    // stands only in the repeated section, which is not read.
    EXPECT_EQ(out.str(), "path,program_id,directory,outcome,executable,comment,total\r\n" + dir + "/a.c,a.c," + dir
                             + "/,Counted,1,1,3\r\n" + dir + "/b.py,b.py," + dir + "/,NoEngine,0,0,0\r\n");
}

// A writer killed at varied moments of rewriting a large file: each time the file is whole,
// holding either the content before the write or the content after it.
TEST_F(HandEdited, AKilledRewriteLeavesTheOldOrTheNewFileWhole)
{
    QByteArray body;
    for (int i = 0; i < 60000; ++i)
        body += "Key" + QByteArray::number(i) + "=" + QByteArray(60, static_cast<char>('a' + i % 26)) + "\r\n";
    const QByteArray before = "[Mode]\r\nCount_Mode=0\r\n[Big]\r\n" + body;
    QByteArray after = before;
    after.replace("Count_Mode=0", "Count_Mode=1");
    const QString path = ini(before);
    const std::string native = pathToNative(path);

    std::mt19937 rng(7);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 24; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Back and forth for ever, so that the kill finds it somewhere in a rewrite.
            SettingsStore store(path);
            for (int i = 0;; ++i)
                store.WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), i % 2 ? QStringLiteral("0") : QStringLiteral("1"));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 400000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        const QByteArray now = content();
        if (now == before)
            ++sawOld;
        else if (now == after)
            ++sawNew;
        else
            FAIL() << "round " << round << ": the file holds " << now.size() << " bytes, neither version";
        // Restore the starting point, and clear the temporary file the kill may have left.
        for (const QString& f : filesBeside()) {
            if (f != u"Tarvik.ini")
                QFile::remove(m_dir.path(f));
        }
        ini(before);
    }
    EXPECT_GT(sawOld + sawNew, 0);
}
