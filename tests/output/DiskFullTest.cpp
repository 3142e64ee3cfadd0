// A full file system under the log, the settings file and tarvik-count's output: each write
// fails, says so, and leaves the file that was there whole, with no half-written file beside it.
#include "cli/CountCommand.h"
#include "config/FileTypeEditor.h"
#include "config/SettingsStore.h"
#include "output/CsvFormat.h"
#include "output/DiffCsvFile.h"
#include "output/LogFile.h"
#include "output/ResultSheets.h"
#include "output/Workbook.h"
#include "support/QtPrinters.h"
#include "support/SmallFileSystem.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <sys/mount.h>

using namespace tarvik;
using tarvik::test::SmallFileSystem;
using tarvik::test::TempDir;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList namesIn(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("filler"));
    std::sort(names.begin(), names.end());
    return names;
}

#define NEED_MOUNT(fs) \
    if (!(fs).mounted()) \
    GTEST_SKIP() << "cannot mount a small tmpfs: " << (fs).error().toStdString()

} // namespace

TEST(DiskFull, ALogSaveFailsSaysWhyAndKeepsTheOldLog)
{
    SmallFileSystem fs(64);
    NEED_MOUNT(fs);
    const QString log = fs.path(QStringLiteral("run.tvk"));
    put(log, "old log\r\n");
    // Room for a few pages: the new log is larger than what is left.
    fs.fill(8192);
    QString report;
    for (int i = 0; i < 2000; ++i)
        report += QStringLiteral("            main.c                 3                    1                 4\r\n");
    QString error;
    EXPECT_FALSE(SaveLogFile(log, report, &error));
    EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(readAll(log), QByteArray("old log\r\n"));
    EXPECT_EQ(namesIn(fs.path()), QStringList{QStringLiteral("run.tvk")});

    // Not a byte left: even a small log fails, and a new name is not left behind empty.
    fs.fill(0);
    EXPECT_FALSE(SaveLogFile(log, QStringLiteral("x"), &error));
    EXPECT_FALSE(SaveLogFile(fs.path(QStringLiteral("new.tvk")), QStringLiteral("x"), &error));
    EXPECT_EQ(readAll(log), QByteArray("old log\r\n"));
    EXPECT_EQ(namesIn(fs.path()), QStringList{QStringLiteral("run.tvk")});
}

TEST(DiskFull, SettingsWritesFailAndTheFileStaysWhole)
{
    SmallFileSystem fs(128);
    NEED_MOUNT(fs);
    const QString ini = fs.path(QStringLiteral("Tarvik.ini"));
    QByteArray original = "[Mode]\r\nCount_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Notes]\r\n";
    for (int i = 0; i < 300; ++i)
        original += "Note" + QByteArray::number(i) + "=" + QByteArray(60, 'n') + "\r\n";
    put(ini, original);
    // A settings file as small as most are: its rewrite fits in the write buffer, so the full
    // disk shows only when the buffer is flushed.
    const QString small = fs.path(QStringLiteral("small.ini"));
    put(small, "[Mode]\r\nCount_Mode=1\r\n");
    fs.fill(4096); // less than the file: a rewrite cannot fit beside it
    SettingsStore store(ini);
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), QStringLiteral("0")));
    EXPECT_EQ(store.read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")), u"1");
    QString error;
    EXPECT_FALSE(FileTypeEditor(store).add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("設定ファイルを書き換えられませんでした。\n") + ini + u'\n'))
        << error.toStdString();
    EXPECT_EQ(readAll(ini), original);

    fs.fill(0);
    SettingsStore smallStore(small);
    EXPECT_FALSE(smallStore.WriteSetting(QStringLiteral("Mode"), QStringLiteral("Count_Mode"), QStringLiteral("0")));
    EXPECT_EQ(readAll(small), QByteArray("[Mode]\r\nCount_Mode=1\r\n"));
    EXPECT_EQ(namesIn(fs.path()), (QStringList{QStringLiteral("Tarvik.ini"), QStringLiteral("small.ini")}));
}

TEST(DiskFull, TarvikCountOutputFailsWithStatusOneAndKeepsTheOldFile)
{
    SmallFileSystem fs(64);
    NEED_MOUNT(fs);
    TempDir dir;
    const QString ini = dir.write(QStringLiteral("Tarvik.ini"), "[Engin]\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
    QStringList args{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("-o"), fs.path(QStringLiteral("out.csv"))};
    for (int i = 0; i < 400; ++i)
        args << dir.write(QStringLiteral("src/file_with_a_longish_name_%1.c").arg(i), "x;\n");
    put(fs.path(QStringLiteral("out.csv")), "old output\n");
    fs.fill(4096);
    CountCommand::Environment env{ini, dir.path(), false, false, 1};
    std::ostringstream out, err;
    EXPECT_EQ(CountCommand(env).execute(args, out, err), 1);
    EXPECT_EQ(err.str(), "tarvik-count: cannot write " + fs.path(QStringLiteral("out.csv")).toStdString() + ": "
                             + std::strerror(ENOSPC) + "\n");
    EXPECT_EQ(readAll(fs.path(QStringLiteral("out.csv"))), QByteArray("old output\n"));
    EXPECT_EQ(namesIn(fs.path()), QStringList{QStringLiteral("out.csv")});
}

// Each of the window's saves names the full disk as the reason, and keeps the old file.
TEST(DiskFull, EverySaveOfTheWindowSaysTheDiskIsFull)
{
    SmallFileSystem fs(64);
    NEED_MOUNT(fs);
    const std::function<bool(const QString&, QString*)> saves[] = {
        [](const QString& path, QString* error) { return SaveLogFile(path, QStringLiteral("x"), error); },
        [](const QString& path, QString* error) { return CsvFormat::SaveCsvFile(path, {}, error); },
        [](const QString& path, QString* error) { return SaveDiffCsv(path, {}, error); },
        [](const QString& path, QString* error) {
            return SaveWorkbook(path, {ResultSheets::detailSheet({}, 0)}, error);
        },
    };
    const QString path = fs.path(QStringLiteral("saved"));
    put(path, "old\n");
    fs.fill(0);
    for (const auto& save : saves) {
        QString error;
        EXPECT_FALSE(save(path, &error));
        EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        EXPECT_EQ(readAll(path), QByteArray("old\n"));
        EXPECT_EQ(namesIn(fs.path()), QStringList{QStringLiteral("saved")});
    }
}

// A file system that takes no new file, read-only or out of inodes, fails tarvik-count's output
// with status 1 and the system's reason.
TEST(DiskFull, AFileSystemThatTakesNoFileFailsTheOutput)
{
    TempDir dir;
    const QString ini = dir.write(QStringLiteral("Tarvik.ini"), "[Engin]\r\nLang_c=C_STYLE\r\n");
    const QString source = dir.write(QStringLiteral("a.c"), "x;\n");
    struct Case {
        unsigned long flags;
        const char* options;
        int err;
    };
    for (const Case& c : {Case{MS_RDONLY, nullptr, EROFS}, Case{0, "nr_inodes=1", ENOSPC}}) {
        SmallFileSystem fs(64);
        NEED_MOUNT(fs);
        ASSERT_EQ(::mount(nullptr, fs.path().toUtf8().constData(), nullptr, MS_REMOUNT | c.flags, c.options), 0);
        const QString output = fs.path(QStringLiteral("out.tvk"));
        CountCommand::Environment env{ini, dir.path(), false, false, 1};
        std::ostringstream out, err;
        EXPECT_EQ(CountCommand(env).execute({QStringLiteral("-o"), output, source}, out, err), 1);
        EXPECT_EQ(err.str(), "tarvik-count: cannot write " + output.toStdString() + ": " + std::strerror(c.err) + "\n");
    }
}
