#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "app/StatusMessage.h"
#include "intake/DirectoryWalk.h"
#include "config/NativePath.h"

#include <QAction>
#include <QApplication>

#include <sys/stat.h>

namespace tarvik {

namespace {

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(pathToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// A drop registers a folder as one entry; from the command line a folder is what the user asked
// to count ("Open with" on a folder), so it is searched like the folder command does.
void MainWindow::registerStartPaths(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    m_status->show(QStringLiteral("登録中"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QList<SkippedDirectory> skipped;
    UnregisteredFiles unregistered;
    for (const QString& path : paths) {
        if (!isFolder(path)) {
            m_listModel->registerPending({path});
            continue;
        }
        DirectoryWalk walk(searchedTypes(), m_searchSubdirs->isChecked());
        walk.setFilter(excludeFilter());
        const WalkReport report = walk.walkConcurrently(path, [&](const QStringList& found) {
            rememberFolderRoot(path, found);
            m_listModel->registerPending(found);
        });
        skipped += report.skipped;
        unregistered.add(report.unregistered);
    }
    const qsizetype added = m_listModel->showPending();
    QApplication::restoreOverrideCursor();
    showUnregistered(unregistered, QStringLiteral("登録数は%1ファイルです").arg(added));
    reportSkippedDirectories(skipped);
}

} // namespace tarvik
