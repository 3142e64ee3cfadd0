// Special files in a walked tree and in the list: sockets, FIFOs, device nodes, dangling links,
// link loops, files that change between registration and the run, empty files, NUL bytes and
// a gigabyte file. None may hang or end the run, and a FIFO or device is never opened.
#include "cli/CountCommand.h"
#include "cli/OutputFormats.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/AnalysisRun.h"
#include "counting/SourceFile.h"
#include "intake/AnalysisList.h"
#include "intake/DirectoryWalk.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

class CollectingSink : public ResultSink {
public:
    void fileAnalysed(qsizetype, const FileResult& r) override { results.push_back(r); }
    void runFinished(const RunSummary&) override { finished = true; }
    std::vector<FileResult> results;
    bool finished = false;
};

// Reports whether any of the watched paths was opened (by anyone) since it was added.
class OpenWatch {
public:
    OpenWatch() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) { EXPECT_GE(m_fd, 0); }
    ~OpenWatch() { ::close(m_fd); }
    void add(const QString& path)
    {
        EXPECT_GE(::inotify_add_watch(m_fd, pathToNative(path).c_str(), IN_OPEN), 0) << path.toStdString();
    }
    bool anyOpened() const
    {
        alignas(inotify_event) char buf[4096];
        ssize_t n = ::read(m_fd, buf, sizeof buf);
        return n > 0;
    }

private:
    int m_fd;
};

bool makeSocket(const QString& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string native = pathToNative(path);
    if (fd < 0 || native.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, native.c_str(), native.size() + 1);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// A tree holding one of each kind, all with the extension "c".
class SpecialTree : public ::testing::Test {
protected:
    SpecialTree()
    {
        m_ini = m_dir.write(QStringLiteral("Tarvik.ini"), kIni);
        root = m_dir.mkdir(QStringLiteral("tree"));
        m_dir.write(QStringLiteral("tree/empty.c"), "");
        // NUL is not whitespace: the lines holding one are steps.
        m_dir.write(QStringLiteral("tree/nul.c"), QByteArray("x;\0\0\n// c\0\n\0\n\n", 14));
        m_dir.write(QStringLiteral("tree/normal.c"), "int x;\n/* c */\n");
        EXPECT_EQ(::mkfifo(native("fifo.c").c_str(), 0644), 0);
        EXPECT_TRUE(makeSocket(at("socket.c")));
        EXPECT_EQ(::symlink("/nonexistent/target.c", native("dangling.c").c_str()), 0);
        EXPECT_EQ(::symlink("loop2.c", native("loop1.c").c_str()), 0);
        EXPECT_EQ(::symlink("loop1.c", native("loop2.c").c_str()), 0);
        EXPECT_EQ(::symlink("fifo.c", native("tofifo.c").c_str()), 0);
        watch.add(at("fifo.c"));
    }

    QString at(const char* name) const { return root + u'/' + QString::fromUtf8(name); }
    std::string native(const char* name) const { return pathToNative(at(name)); }

    QStringList walked()
    {
        QStringList found;
        DirectoryWalk(FileTypeTable::fromDocument(IniDocument::fromBytes(kIni)).searchedExtensions(), true)
            .walk(root, [&](const QString& p) { found << p; });
        return found;
    }

    std::vector<FileResult> run(const QStringList& paths, int jobs, bool* finished = nullptr)
    {
        EngineTable engines(IniDocument::fromBytes(kIni));
        CollectingSink sink;
        RunAnalysis(paths, engines, AnalysisOptions{true, jobs}, sink);
        if (finished)
            *finished = sink.finished;
        return sink.results;
    }

    TempDir m_dir;
    QString m_ini;
    QString root;
    OpenWatch watch;
};

QString outcomes(const std::vector<FileResult>& results)
{
    QStringList out;
    for (const FileResult& r : results)
        out << r.programId + u':' + outcomeName(r.outcome) + u':' + QString::number(r.counts.executable) + u'/'
                   + QString::number(r.counts.comment) + u'/' + QString::number(r.counts.total);
    return out.join(u' ');
}

} // namespace

// Far below the gigabyte a whole line would take. AddressSanitizer's shadow memory and
// quarantine add their own share, so a sanitizer build gets more room.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kBoundKiB = 600 * 1024;
#else
constexpr long kBoundKiB = 200 * 1024;
#endif

TEST_F(SpecialTree, WalkTakesEveryEntryAndTheRunGivesEachItsOutcome)
{
    const QStringList found = walked();
    QStringList names;
    for (const QString& p : found)
        names << p.mid(root.size() + 1);
    EXPECT_EQ(names, (QStringList{QStringLiteral("dangling.c"), QStringLiteral("empty.c"), QStringLiteral("fifo.c"),
                                  QStringLiteral("loop1.c"), QStringLiteral("loop2.c"), QStringLiteral("normal.c"),
                                  QStringLiteral("nul.c"), QStringLiteral("socket.c"), QStringLiteral("tofifo.c")}));
    const QString expected = QStringLiteral(
        "dangling.c:Missing:0/0/0 empty.c:Counted:0/0/0 fifo.c:Missing:0/0/0 loop1.c:Missing:0/0/0 "
        "loop2.c:Missing:0/0/0 normal.c:Counted:1/1/2 nul.c:Counted:2/1/4 socket.c:Missing:0/0/0 "
        "tofifo.c:Missing:0/0/0");
    for (int jobs : {1, 3}) {
        bool finished = false;
        EXPECT_EQ(outcomes(run(found, jobs, &finished)), expected) << "jobs " << jobs;
        EXPECT_TRUE(finished);
    }
    EXPECT_FALSE(watch.anyOpened()) << "the FIFO was opened";
}

TEST_F(SpecialTree, FilesChangedAfterRegistrationAreMissingOrEndTheRun)
{
    m_dir.write(QStringLiteral("tree/gone.c"), "x;\n");
    m_dir.write(QStringLiteral("tree/nowfifo.c"), "x;\n");
    m_dir.write(QStringLiteral("tree/nowdir.c"), "x;\n");
    m_dir.write(QStringLiteral("tree/secret.c"), "x;\n");
    AnalysisList list;
    for (const QString& p : walked())
        list.RegisterPath(p);
    ASSERT_EQ(list.size(), 13);

    QFile::remove(at("gone.c"));
    QFile::remove(at("nowfifo.c"));
    ASSERT_EQ(::mkfifo(native("nowfifo.c").c_str(), 0644), 0);
    watch.add(at("nowfifo.c"));
    QFile::remove(at("nowdir.c"));
    m_dir.mkdir(QStringLiteral("tree/nowdir.c"));
    QFile::setPermissions(at("secret.c"), QFileDevice::WriteOwner);
    const QStringList paths = list.entries();
    // Without root rights the unreadable file is one that exists but cannot be opened: the run
    // ends there with the unexpected error, having delivered every result before it.
    int rc = test::runUnprivileged([&] {
        for (int jobs : {1, 4}) {
            EngineTable engines(IniDocument::fromBytes(kIni));
            CollectingSink sink;
            RunSummary s = RunAnalysis(paths, engines, AnalysisOptions{true, jobs}, sink);
            if (s.completed() || sink.finished)
                return 1;
            if (s.error->path != at("secret.c") || s.error->reason.isEmpty())
                return 2;
            const QString got = outcomes(sink.results);
            if (got != QStringLiteral("dangling.c:Missing:0/0/0 empty.c:Counted:0/0/0 fifo.c:Missing:0/0/0 "
                                      "gone.c:Missing:0/0/0 loop1.c:Missing:0/0/0 loop2.c:Missing:0/0/0 "
                                      "normal.c:Counted:1/1/2 nowdir.c:Missing:0/0/0 nowfifo.c:Missing:0/0/0 "
                                      "nul.c:Counted:2/1/4"))
                return 3;
        }
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(watch.anyOpened()) << "a FIFO was opened";
}

TEST_F(SpecialTree, DeviceNodesAreNeverOpened)
{
    // /dev/zero's numbers: read, it would never end.
    if (::mknod(native("zero.c").c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
        GTEST_SKIP() << "mknod not permitted: " << std::strerror(errno);
    watch.add(at("zero.c"));
    EXPECT_EQ(outcomes(run({at("zero.c"), at("normal.c")}, 1)),
              QStringLiteral("zero.c:Missing:0/0/0 normal.c:Counted:1/1/2"));
    EXPECT_EQ(outcomes(run({at("zero.c")}, 2)), QStringLiteral("zero.c:Missing:0/0/0"));
    EXPECT_FALSE(watch.anyOpened()) << "the device node was opened";
}

TEST_F(SpecialTree, CountCommandHandlesTheTreeAndTheRealBinaryEnds)
{
    ::mknod(native("zero.c").c_str(), S_IFCHR | 0666, makedev(1, 5)); // where permitted
    CountCommand::Environment env{m_ini, m_dir.path(), false, false, 2};
    std::ostringstream out, err;
    ASSERT_EQ(CountCommand(env).execute({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree"),
                                         QStringLiteral("tree/fifo.c"), QStringLiteral("tree/socket.c")},
                                        out, err),
              0)
        << err.str();
    const std::string csv = out.str();
    const std::string base = pathToNative(root);
    for (const char* missing : {"fifo.c", "socket.c", "dangling.c", "loop1.c", "tofifo.c"})
        EXPECT_NE(csv.find(base + "/" + missing + "," + missing + "," + base + "/,Missing,0,0,0\r\n"), std::string::npos)
            << missing << "\n" << csv;
    EXPECT_NE(csv.find(base + "/nul.c,nul.c," + base + "/,Counted,2,1,4\r\n"), std::string::npos) << csv;
    // Each path once: the FIFO and socket given again after the tree are duplicates.
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 9 + (QFile::exists(at("zero.c")) ? 1 : 0));

    QProcess count;
    count.start(QStringLiteral(TARVIK_BINARY_DIR "/tarvik-count"),
                {QStringLiteral("-s"), m_ini, QStringLiteral("-f"), QStringLiteral("csv"), root});
    ASSERT_TRUE(count.waitForFinished(60000)) << "tarvik-count did not end";
    EXPECT_EQ(count.exitCode(), 0) << count.readAllStandardError().toStdString();
    EXPECT_EQ(count.readAllStandardOutput().toStdString(), csv.substr(0, csv.size()));
    EXPECT_FALSE(watch.anyOpened()) << "the FIFO was opened";
}

namespace {

long maxRssKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A 1 GiB file that costs no disk: holes read as NUL bytes, with `lines` written at offsets.
QString sparseGigabyte(const TempDir& dir, const QString& name, const std::vector<std::pair<off_t, std::string>>& lines)
{
    const QString path = dir.path(name);
    int fd = ::open(pathToNative(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
    for (const auto& [offset, text] : lines)
        EXPECT_EQ(::pwrite(fd, text.data(), text.size(), offset), static_cast<ssize_t>(text.size()));
    ::close(fd);
    return path;
}

} // namespace

TEST(HugeFile, AGigabyteOfOneLineIsCountedInBoundedMemory)
{
    TempDir dir;
    const CommentSyntax c{"//", "/*", "*/"};
    // One line of 2^30 NUL bytes: a step.
    const QString zeros = sparseGigabyte(dir, QStringLiteral("zeros.c"), {});
    const long before = maxRssKiB();
    SourceFileCount r = countSourceFile(pathToNative(zeros), c, true);
    EXPECT_EQ(r.status, SourceFileCount::Status::Counted);
    EXPECT_EQ(r.counts, (FileCounts{1, 0, 1}));
    EXPECT_LT(maxRssKiB() - before, kBoundKiB) << "peak memory grew by " << (maxRssKiB() - before) / 1024 << " MiB";

    // Lines of hundreds of megabytes, with code at their ends and a last line without an end.
    const QString lines = sparseGigabyte(dir, QStringLiteral("lines.c"),
                                         {{0, "int x; // c\r\n"},
                                          {300 << 20, "y; /* a\r\n"},
                                          {700 << 20, " */ // b\n"},
                                          {(off_t{1} << 30) - 12, "/* tail */ z"}});
    r = countSourceFile(pathToNative(lines), c, true);
    EXPECT_EQ(r.status, SourceFileCount::Status::Counted);
    // 1: code; 2: NULs then "y;" and an open comment; 3: inside the comment, NULs, then its
    // end and a line comment: only comment; 4: NULs, a block comment, "z".
    EXPECT_EQ(r.counts, (FileCounts{3, 1, 4}));
    EXPECT_LT(maxRssKiB() - before, kBoundKiB) << "peak memory grew by " << (maxRssKiB() - before) / 1024 << " MiB";
}

TEST(HugeFile, TarvikCountCountsItInBoundedMemory)
{
    TempDir dir;
    const QString ini = dir.write(QStringLiteral("Tarvik.ini"), kIni);
    const QString zeros = sparseGigabyte(dir, QStringLiteral("zeros.c"), {{5, "\r\n// end"}});
    const std::string binary = TARVIK_BINARY_DIR "/tarvik-count";
    const std::string settings = pathToNative(ini), file = pathToNative(zeros);
    const std::string outPath = pathToNative(dir.path(QStringLiteral("out.csv")));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::execl(binary.c_str(), binary.c_str(), "-s", settings.c_str(), "-f", "csv", file.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(::wait4(pid, &status, 0, &usage), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(dir.read(QStringLiteral("out.csv")).endsWith(",Counted,1,1,2\r\n")) << dir.read(QStringLiteral("out.csv")).toStdString();
    EXPECT_LT(usage.ru_maxrss, kBoundKiB + 50 * 1024) << "tarvik-count peaked at " << usage.ru_maxrss / 1024 << " MiB";
}

// One line of 48 MiB of string literals and block comments, every one different: it holds far
// more than the pass limit's worth of comments and is not analysable, and its quote and comment
// indexes would take a dozen times its size; it is given up in memory near the line's own.
TEST(HugeFile, ALineDenseWithLiteralsAndCommentsIsGivenUpInBoundedMemory)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("dense.c"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        std::string piece;
        for (size_t n = 0, written = 0; written < (48u << 20); ++n) {
            const std::string number = std::to_string(n);
            piece.assign("s").append(number).append(" = \"a/*b").append(number).append("*/c\"; /* c");
            piece.append(number).append(" 'd' */ x = 'q'; ");
            ASSERT_EQ(f.write(piece.data(), static_cast<qint64>(piece.size())), static_cast<qint64>(piece.size()));
            written += piece.size();
        }
        f.write("\n");
    }
    const long before = maxRssKiB();
    const SourceFileCount r = countSourceFile(pathToNative(path), CommentSyntax{"//", "/*", "*/"}, true);
    EXPECT_EQ(r.status, SourceFileCount::Status::Abandoned);
    EXPECT_LT(maxRssKiB() - before, kBoundKiB) << "peak memory grew by " << (maxRssKiB() - before) / 1024 << " MiB";
}
