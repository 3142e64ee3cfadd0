// Unusual file names in the window: dropped, listed, counted, shown in the grid and report on
// one line each, and opened under their real bytes from the list and from the grid.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "config/NativePath.h"
#include "output/ResultGridModel.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QListView>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;

namespace {

const QByteArray kIni = "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

struct Name {
    std::string bytes;
    QString shown;
};

const std::vector<Name>& names()
{
    static const std::vector<Name> all{
        {"a b  c .c", QStringLiteral("a b  c .c")},
        {"line\nbreak.c", QStringLiteral("line\uFFFDbreak.c")},
        {"bad\xff\xfe.c", QStringLiteral("bad\uFFFD\uFFFD.c")},
        {"\x93\xfa\x96\x7b\x8c\xea.c", QStringLiteral("日本語.c")},
        {"\xe6\x97\xa5\xe6\x9c\xac.c", QStringLiteral("日本.c")},
    };
    return all;
}

} // namespace

class FileNamesWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;
    std::vector<std::string> m_paths; // real bytes, in drop order

    void create(const std::string& path, size_t lines)
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        for (size_t i = 0; i < lines; ++i)
            QCOMPARE(::write(fd, "x;\n", 3), ssize_t{3});
        ::close(fd);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dir->write(QStringLiteral("Tarvik.ini"), kIni);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        const std::string root = pathToNative(m_dir->mkdir(QStringLiteral("src")));
        m_paths.clear();
        for (const Name& n : names())
            m_paths.push_back(root + '/' + n.bytes);
        std::string deep = root;
        while (deep.size() < 3800) {
            deep += '/' + std::string(200, 'd');
            QCOMPARE(::mkdir(deep.c_str(), 0755), 0);
        }
        m_paths.push_back(deep + '/' + std::string(180, 'f') + ".c");
        for (size_t i = 0; i < m_paths.size(); ++i)
            create(m_paths[i], i + 1);
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
    }

    void namesAreListedCountedShownAndOpenedUnderTheirRealBytes()
    {
        // Dropped as a file manager sends them: percent-encoded bytes.
        QList<QUrl> urls;
        for (const std::string& p : m_paths)
            urls << QUrl::fromEncoded("file://" + QByteArray::fromStdString(p).toPercentEncoding("/"));
        QVERIFY(test::dropUrls(*m_window, urls));
        AnalysisListModel* list = m_window->analysisList();
        QCOMPARE(list->rowCount(), static_cast<int>(m_paths.size()));
        const QString dir = m_dir->path(QStringLiteral("src/"));
        for (size_t i = 0; i < names().size(); ++i) {
            QCOMPARE(pathToNative(list->entries().at(static_cast<qsizetype>(i))), m_paths[i]);
            QCOMPARE(list->index(static_cast<int>(i)).data().toString(), dir + names()[i].shown);
        }
        QCOMPARE(pathToNative(list->entries().last()), m_paths.back());

        m_window->RunAnalysis();
        ResultGridModel* grid = m_window->resultGrid();
        QCOMPARE(grid->rowCount(), static_cast<int>(m_paths.size() + 1));
        for (size_t i = 0; i < m_paths.size(); ++i) {
            QCOMPARE(grid->cellText(static_cast<qsizetype>(i), 2), QString::number(i + 1)); // counted
            if (i < names().size()) {
                QCOMPARE(grid->index(static_cast<int>(i), 0).data().toString(), names()[i].shown);
                QCOMPARE(grid->cellText(static_cast<qsizetype>(i), 1), dir);
            }
        }
        const QStringList reportLines = m_window->reportText().split(QStringLiteral("\r\n"));
        for (const QString& line : reportLines) {
            QVERIFY2(!line.contains(u'\n') && !line.contains(u'\r'), qPrintable(line));
            for (QChar c : line)
                QVERIFY2(!c.isSurrogate(), qPrintable(line));
        }
        for (const Name& n : names())
            QVERIFY2(m_window->reportText().contains(n.shown), qPrintable(n.shown));

        // Opening from the list: every entry, its real bytes.
        auto* view = m_window->findChild<QListView*>(QStringLiteral("List1"));
        view->selectAll();
        m_window->findChild<QAction*>(QStringLiteral("Mn_Fopen"))->trigger();
        QCOMPARE(m_launcher->launched.size(), static_cast<qsizetype>(m_paths.size()));
        std::vector<std::string> opened;
        for (const QString& p : m_launcher->launched)
            opened.push_back(pathToNative(p));
        std::sort(opened.begin(), opened.end());
        std::vector<std::string> expected = m_paths;
        std::sort(expected.begin(), expected.end());
        QVERIFY(opened == expected);

        // Opening from the grid: bottom row first, each under its real path.
        m_launcher->launched.clear();
        auto* table = m_window->findChild<QTableView*>(QStringLiteral("MSFlexGrid1"));
        table->selectionModel()->select(
            QItemSelection(grid->index(0, 0), grid->index(static_cast<int>(m_paths.size()) - 1, 0)),
            QItemSelectionModel::ClearAndSelect);
        m_window->MSFlexGrid1_DblClick(grid->index(0, 0));
        QCOMPARE(m_launcher->launched.size(), static_cast<qsizetype>(m_paths.size()));
        for (size_t i = 0; i < m_paths.size(); ++i)
            QCOMPARE(pathToNative(m_launcher->launched.at(static_cast<qsizetype>(m_paths.size() - 1 - i))), m_paths[i]);
    }
};

QTEST_MAIN(FileNamesWindowTest)
#include "FileNamesWindowTest.moc"
