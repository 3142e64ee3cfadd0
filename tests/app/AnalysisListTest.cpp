// The analysis list of the main window: drops, removal, the context menu and opening entries.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"

#include "intake/FileOpener.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QFile>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace tarvik;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;

class AnalysisListTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;
    QListView* m_list = nullptr;

    QString status() const { return m_window->statusBar()->currentMessage(); }
    QStringList entries() const { return m_window->analysisList()->entries(); }

    void drop(const QList<QUrl>& urls) { test::dropUrls(*m_window, urls); }
    void dropFiles(const QStringList& paths) { test::dropFiles(*m_window, paths); }
    void select(std::initializer_list<int> rows)
    {
        m_list->selectionModel()->clearSelection();
        for (int r : rows)
            m_list->selectionModel()->select(m_window->analysisList()->index(r), QItemSelectionModel::Select);
    }
    QStringList files(int n)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << m_dir->write(QStringLiteral("f%1.c").arg(i), "x;\n");
        return out;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_list = m_window->findChild<QListView*>(QStringLiteral("List1"));
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
    }

    void droppingTheSameFilesTwiceRegistersThemOnce()
    {
        const QStringList three = files(3);
        dropFiles(three);
        QCOMPARE(status(), QStringLiteral("登録数は3ファイルです"));
        dropFiles(three);
        QCOMPARE(status(), QStringLiteral("登録数は0ファイルです"));
        QCOMPARE(entries(), three);
    }

    void foldersAndCaseDifferentPathsAreEntriesOfTheirOwn()
    {
        const QString folder = m_dir->mkdir(QStringLiteral("folder"));
        dropFiles({folder, m_dir->path(QStringLiteral("a.c")), m_dir->path(QStringLiteral("A.c"))});
        QCOMPARE(entries().size(), 3);
        QCOMPARE(entries().first(), folder);
        // Data without local files adds nothing, and says so.
        drop({QUrl(QStringLiteral("https://example.invalid/x.c"))});
        QCOMPARE(status(), QStringLiteral("登録数は0ファイルです"));
    }

    void namesThatAreNotUtf8SurviveADrop()
    {
        QUrl url;
        url.setScheme(QStringLiteral("file"));
        url.setPath(QStringLiteral("/tmp/%93%FA%96%7B.c"), QUrl::TolerantMode); // CP932 bytes
        drop({url});
        QCOMPARE(entries().size(), 1);
        QCOMPARE(QByteArray::fromStdString(pathToNativeForTest(entries().first())), QByteArray("/tmp/\x93\xfa\x96\x7b.c"));
    }

    void deleteRemovesTheSelectedEntriesOnce()
    {
        dropFiles(files(5));
        const QStringList before = entries();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_list->setFocus();
        select({1, 2, 4});
        QTest::keyClick(m_list, Qt::Key_Delete);
        QCOMPARE(entries(), (QStringList{before[0], before[3]}));
        QCOMPARE(status(), QStringLiteral("取消数は3ファイルです"));
        m_list->selectionModel()->clearSelection();
        m_window->findChild<QAction*>(QStringLiteral("Mn_sakuzyo"))->trigger();
        QCOMPARE(status(), QStringLiteral("取消数は0ファイルです"));
        QCOMPARE(entries().size(), 2);
    }

    void rightClickOffersOnlyDelete()
    {
        dropFiles(files(1));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QMenu* edit = m_window->editMenu();
        QTest::mouseRelease(m_list->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(10, 5));
        QTRY_VERIFY(edit->isVisible());
        QStringList shown;
        for (QAction* a : edit->actions()) {
            if (a->isVisible() && !a->isSeparator())
                shown << a->text();
        }
        QCOMPARE(shown, QStringList{QStringLiteral("削除")});
        edit->hide();
        for (QAction* a : edit->actions())
            QVERIFY(a->isVisible());
    }

    void openingReportsEachFailureAndGoesOn()
    {
        const QStringList two = files(2);
        dropFiles(two);
        QFile::remove(two[0]);
        select({0, 1});
        m_prompter->expect(ScriptedPrompter::Kind::Message, QStringLiteral("ファイルが見つかりません。"));
        m_window->findChild<QAction*>(QStringLiteral("Mn_Fopen"))->trigger();
        QCOMPARE(m_launcher->launched, QStringList{two[1]});
        QCOMPARE(entries().size(), 2); // the missing entry stays
    }

    // The desktop's opener ends later than the double click (without a desktop session it runs
    // the application itself): the window goes on at once, and a failure it reports by its exit
    // status then shows its message.
    void theOpenersExitStatusIsReportedWhenItEnds()
    {
        // The stand-in opener takes its exit status from a file, says it has started, and ends
        // when the test lets it.
        auto file = [&](const char* name) { return m_dir->path(QString::fromLatin1(name)).toUtf8(); };
        m_dir->write(QStringLiteral("bin/xdg-mime"), "#!/bin/sh\necho editor.desktop\n");
        m_dir->write(QStringLiteral("bin/xdg-open"), "#!/bin/sh\ns=$(cat '" + file("status") + "')\ntouch '" + file("started")
                                                         + "'\nwhile [ ! -e '" + file("go") + "' ]; do sleep 0.05; done\nrm '"
                                                         + file("go") + "'\nexit $s\n");
        for (const char* tool : {"bin/xdg-open", "bin/xdg-mime"})
            QFile::setPermissions(m_dir->path(QString::fromLatin1(tool)), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", file("bin") + ':' + path);
        XdgLauncher launcher;
        MainWindow w(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, launcher);
        test::dropFiles(w, files(1));
        w.findChild<QListView*>(QStringLiteral("List1"))->selectionModel()->select(w.analysisList()->index(0),
                                                                                 QItemSelectionModel::Select);
        // Success first: a message it caused would come before the next one expected.
        const std::pair<int, QString> cases[] = {{0, QString()},
                                                 {2, QStringLiteral("ファイルが見つかりません。")},
                                                 {3, QStringLiteral("関連付けが指定されていません。")},
                                                 {4, QStringLiteral("ファイルを開けません。")}};
        for (const auto& [status, message] : cases) {
            m_dir->write(QStringLiteral("status"), QByteArray::number(status));
            QFile::remove(QString::fromUtf8(file("started")));
            if (!message.isEmpty())
                m_prompter->expect(ScriptedPrompter::Kind::Message, message);
            w.openSelectedEntries(); // returns while the opener runs
            QTRY_VERIFY(QFile::exists(QString::fromUtf8(file("started"))));
            QVERIFY(message.isEmpty() || !m_prompter->done());
            m_dir->write(QStringLiteral("go"), "");
            QTRY_VERIFY(m_prompter->done() && !QFile::exists(QString::fromUtf8(file("go"))));
        }
        qputenv("PATH", path);
    }

private:
    static std::string pathToNativeForTest(const QString& p);
};

#include "config/NativePath.h"
std::string AnalysisListTest::pathToNativeForTest(const QString& p) { return tarvik::pathToNative(p); }

QTEST_MAIN(AnalysisListTest)
#include "AnalysisListTest.moc"
