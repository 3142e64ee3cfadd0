// File names as Linux allows them: blanks, line breaks, bytes that are not UTF-8, Japanese in
// UTF-8 and in CP932, and paths of 4,000 characters. Each registers, counts and opens under its
// real bytes, and shows as readable text on one line.
#include "cli/CountCommand.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/AnalysisRun.h"
#include "counting/TextReport.h"
#include "intake/AnalysisList.h"
#include "intake/DirectoryWalk.h"
#include "intake/FileOpener.h"
#include "support/QtPrinters.h"
#include "support/RecordingLauncher.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

struct NamedFile {
    std::string bytes; // the name as stored on disk
    QString shown;     // how the list, grid and report show it
};

// Names in the order a directory walk takes them (sorted by bytes).
std::vector<NamedFile> names()
{
    return {
        {"a b  c .c", QStringLiteral("a b  c .c")},
        {"bad\xff\xfe.c", QStringLiteral("bad\uFFFD\uFFFD.c")},
        {"line\nbreak.c", QStringLiteral("line\uFFFDbreak.c")},
        {"tab\there\r.c", QStringLiteral("tab\uFFFDhere\uFFFD.c")},
        {"\x83\x5c\x81\x5b\x83\x58.c", QStringLiteral("ソース.c")},      // CP932 with "\\" as a trail byte
        {"\x93\xfa\x96\x7b\x8c\xea.c", QStringLiteral("日本語.c")},      // CP932
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.c", QStringLiteral("日本語.c")}, // UTF-8
    };
}

void writeNative(const std::string& path, const std::string& content)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.size() << " bytes: " << std::strerror(errno);
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
}

std::string lines(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += "x;\n";
    return s;
}

class FileNames : public ::testing::Test {
protected:
    FileNames()
    {
        root = pathToNative(m_dir.mkdir(QStringLiteral("tree")));
        const auto all = names();
        for (size_t i = 0; i < all.size(); ++i)
            writeNative(root + '/' + all[i].bytes, lines(i + 1));
        // A path of about 4,000 characters: nested folders of 200, and a name of 180.
        longPath = root + "/deep";
        ::mkdir(longPath.c_str(), 0755);
        while (longPath.size() < 3800) {
            longPath += '/' + std::string(200, 'd');
            EXPECT_EQ(::mkdir(longPath.c_str(), 0755), 0);
        }
        longPath += '/' + std::string(176, 'f') + ".c";
        EXPECT_GE(longPath.size(), 3990u);
        EXPECT_LT(longPath.size(), static_cast<size_t>(PATH_MAX));
        writeNative(longPath, lines(20));
    }

    QStringList walk()
    {
        QStringList found;
        DirectoryWalk({QStringLiteral("c")}, true).walk(pathFromNative(root), [&](const QString& p) { found << p; });
        return found;
    }

    TempDir m_dir;
    std::string root;
    std::string longPath;
};

class Collecting : public ResultSink {
public:
    void fileAnalysed(qsizetype, const FileResult& r) override { results.push_back(r); }
    std::vector<FileResult> results;
};

} // namespace

TEST_F(FileNames, RegisterCountAndShowUnderTheirRealBytes)
{
    const QStringList found = walk();
    const auto all = names();
    ASSERT_EQ(found.size(), static_cast<qsizetype>(all.size() + 1));
    AnalysisList list;
    for (const QString& p : found)
        EXPECT_TRUE(list.RegisterPath(p));
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(pathToNative(found[static_cast<qsizetype>(i)]), root + '/' + all[i].bytes) << i;
    EXPECT_EQ(pathToNative(found.last()), longPath);
    // The same text in CP932 and in UTF-8 names two files: both are entries.
    EXPECT_EQ(list.size(), found.size());

    EngineTable engines(IniDocument::fromBytes(kIni));
    Collecting sink;
    ASSERT_TRUE(RunAnalysis(list.entries(), engines, AnalysisOptions{true, 2}, sink).completed());
    ASSERT_EQ(sink.results.size(), all.size() + 1);
    for (size_t i = 0; i < all.size(); ++i) {
        const FileResult& r = sink.results[i];
        EXPECT_EQ(r.outcome, FileOutcome::Counted) << i;
        EXPECT_EQ(r.counts.executable, static_cast<int64_t>(i + 1)) << i;
        EXPECT_EQ(displayPath(r.programId), all[i].shown) << i;
        EXPECT_EQ(displayPath(r.directory), pathFromNative(root) + u'/');
    }
    EXPECT_EQ(sink.results.back().counts.executable, 20);
    EXPECT_EQ(pathToNative(sink.results.back().directory + sink.results.back().programId), longPath);

    // Every report line stays one line, and shows the readable names.
    QString report;
    TextReport text([&](const QString& t) { report += t; });
    text.runStarted(static_cast<qsizetype>(sink.results.size()));
    for (size_t i = 0; i < sink.results.size(); ++i)
        text.fileAnalysed(static_cast<qsizetype>(i), sink.results[i]);
    QStringList reportLines = report.split(QStringLiteral("\r\n"));
    for (const QString& line : reportLines) {
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r')) << line.toStdString();
        for (QChar c : line)
            EXPECT_FALSE(c.isSurrogate()) << line.toStdString();
    }
    for (const NamedFile& n : all)
        EXPECT_TRUE(report.contains(n.shown + QStringLiteral("   "))) << n.shown.toStdString();
}

TEST_F(FileNames, OpenHandsTheRealPathToTheDesktop)
{
    RecordingLauncher launcher;
    for (const QString& p : walk()) {
        launcher.launched.clear();
        EXPECT_EQ(OpenWithAssociatedApplication(p, launcher), OpenFailure::None) << displayPath(p).toStdString();
        ASSERT_EQ(launcher.launched.size(), 1);
        EXPECT_EQ(pathToNative(launcher.launched[0]), pathToNative(p));
    }
    EXPECT_EQ(OpenWithAssociatedApplication(pathFromNative(root + "/bad\xff.c"), launcher), OpenFailure::FileNotFound);

    // The desktop's opener gets the bytes too: a stand-in opener writes its argument to a file.
    const QString received = m_dir.path(QStringLiteral("received"));
    const QString opener = m_dir.write(QStringLiteral("opener.sh"),
                                       "#!/bin/sh\nprintf '%s' \"$1\" > \"" + received.toUtf8() + ".tmp\"\nmv \""
                                           + received.toUtf8() + ".tmp\" \"" + received.toUtf8() + "\"\n");
    QFile::setPermissions(opener, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    XdgLauncher xdg(opener);
    for (const std::string& name : {root + "/bad\xff\xfe.c", root + "/\x93\xfa\x96\x7b\x8c\xea.c", longPath}) {
        QFile::remove(received);
        ASSERT_TRUE(xdg.launch(pathFromNative(name), {}));
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(received) && waited.elapsed() < 20000)
            QThread::msleep(20);
        EXPECT_EQ(m_dir.read(QStringLiteral("received")).toStdString(), name);
    }
    EXPECT_FALSE(XdgLauncher(m_dir.path(QStringLiteral("no-such-opener"))).launch(pathFromNative(longPath), {}));
}

TEST_F(FileNames, TarvikCountTakesThemFromItsArgumentsAndItsListFile)
{
    const std::string ini = pathToNative(m_dir.write(QStringLiteral("Tarvik.ini"), kIni));
    const auto all = names();
    // The arguments as raw bytes (QProcess would pass them as UTF-8); the list file holds the
    // names without line breaks once more, which adds nothing.
    std::string listed;
    std::vector<std::string> args{TARVIK_BINARY_DIR "/tarvik-count", "-s", ini, "-f", "csv", "--files-from",
                                  pathToNative(m_dir.path(QStringLiteral("list.txt")))};
    for (const NamedFile& n : all) {
        args.push_back(root + '/' + n.bytes);
        if (n.bytes.find_first_of("\r\n") == std::string::npos)
            listed += root + '/' + n.bytes + '\n';
    }
    args.push_back(longPath);
    m_dir.write(QStringLiteral("list.txt"), QByteArray::fromStdString(listed + longPath + '\n'));
    const std::string outPath = pathToNative(m_dir.path(QStringLiteral("out.csv")));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QString csv = QString::fromUtf8(m_dir.read(QStringLiteral("out.csv")));
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_TRUE(csv.contains(QStringLiteral(",Counted,%1,0,%1\r\n").arg(i + 1))) << i << "\n" << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral(",Counted,20,0,20\r\n")));
    EXPECT_FALSE(csv.contains(QStringLiteral("Missing")));
    // One header and one row per file; the row of the name with a line break is quoted.
    EXPECT_EQ(csv.count(QStringLiteral("\r\n")), static_cast<qsizetype>(1 + all.size() + 1)) << csv.toStdString();
}

TEST(DisplayPath, OnlyWhatCannotBeShownIsReplaced)
{
    // Ordinary text, including a character outside the BMP whose second half looks like an
    // escaped byte (U+10080 is D800 DC80), stays as it is.
    for (const char* ok : {"/src/main.c", "/src/日本語/a b.c", "/src/\xF0\x90\x82\x80.c"})
        EXPECT_EQ(displayPath(QString::fromUtf8(ok)), QString::fromUtf8(ok));
    // Each name on its own: a UTF-8 folder holding a CP932 file.
    EXPECT_EQ(displayPath(pathFromNative("/ソース/\x83\x5c\x81\x5b\x83\x58.c")), u"/ソース/ソース.c");
    // A name that is neither: only its stray bytes are replaced, the UTF-8 around them kept.
    EXPECT_EQ(displayPath(pathFromNative("/src/日本\xff.c")), u"/src/日本\uFFFD.c");
    EXPECT_EQ(displayPath(pathFromNative("/src/\xEF\xBF\xBD\xff.c")), u"/src/\uFFFD\uFFFD.c");
    // Line breaks of every kind.
    EXPECT_EQ(displayPath(QStringLiteral("/a\r\nb\u2028c\u0085d\u007f.c")), u"/a\uFFFD\uFFFDb\uFFFDc\uFFFDd\uFFFD.c");
}
