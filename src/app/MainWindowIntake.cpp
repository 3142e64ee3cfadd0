// Filling the analysis list (files, folders, dropped paths, server files), taking entries out
// of it, and opening listed or counted files with their applications.
#include "app/MainWindow.h"

#include "app/AnalysisListModel.h"
#include "app/DialogRunner.h"
#include "app/HostListDialog.h"
#include "app/RemoteBrowserDialog.h"
#include "app/ResultGridProxy.h"
#include "app/StatusMessage.h"
#include "app/UserPrompter.h"
#include "config/ExcludeSettings.h"
#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"
#include "config/NativePath.h"
#include "ftp/FtpHostList.h"
#include "intake/DirectoryWalk.h"
#include "intake/FileOpener.h"
#include "intake/PathPatterns.h"
#include "output/ResultGridModel.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QMimeData>
#include <QPointer>
#include <QTableView>
#include <QUrl>

#include <algorithm>

namespace tarvik {

void MainWindow::OpenLocalFiles()
{
    for (;;) {
        m_status->show(QStringLiteral("登録中"));
        const QStringList picked = m_prompter.openFiles(this, QStringLiteral("解析ファイルを開く"), m_fileDialogDir,
                                                        QStringLiteral("全てのファイル (*)"));
        if (picked.isEmpty())
            return;
        if (picked.size() > 1)
            clearReport();
        const qsizetype added = m_listModel->registerPaths(picked);
        m_status->showTimed(QStringLiteral("登録数は%1ファイルです").arg(added));
    }
}

void MainWindow::OpenLocalDirectory()
{
    for (;;) {
        const QString folder = m_prompter.chooseFolder(this, QStringLiteral("解析ディレクトリを開く"), m_fileDialogDir);
        if (folder.isEmpty())
            return;
        m_status->show(QStringLiteral("登録中"));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        DirectoryWalk walk(searchedTypes(), m_searchSubdirs->isChecked());
        walk.setFilter(excludeFilter());
        const WalkReport report = walk.walkConcurrently(folder, [&](const QStringList& found) {
            rememberFolderRoot(folder, found);
            m_listModel->registerPending(found);
        });
        const qsizetype added = m_listModel->showPending();
        QApplication::restoreOverrideCursor();
        showUnregistered(report.unregistered, QStringLiteral("登録数は%1ファイルです").arg(added));
        reportSkippedDirectories(report.skipped);
    }
}

// The file types the directory search takes: those checked in the search settings menu.
QStringList MainWindow::searchedExtensions() const
{
    QStringList extensions;
    for (const QAction* item : std::as_const(m_fileTypeItems)) {
        if (item->isChecked())
            extensions << item->text();
    }
    return extensions;
}

SearchedTypes MainWindow::searchedTypes() const
{
    // Names and interpreters have no menu items: read at each search, as the exclusions are.
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    SearchedTypes types = FileTypeTable::fromDocument(doc).searchedTypes();
    types.extensions = searchedExtensions();
    return types;
}

QStringList MainWindow::excludePatterns() const { return readExcludePatterns(m_settings.path()); }

DirectoryWalk::FilterFactory MainWindow::excludeFilter() const
{
    // Read at each search, so a hand-edited settings file counts at once.
    const QStringList patterns = excludePatterns();
    if (patterns.isEmpty())
        return nullptr;
    return [patterns](const std::string&) { return makePatternFilter(Exclusions{patterns, false}); };
}

void MainWindow::reportSkippedDirectories(const QList<SkippedDirectory>& skipped)
{
    if (skipped.isEmpty())
        return;
    // Folders not searched and files left out are told apart: a file that exists must not read
    // as a folder that could not be listed.
    QStringList folders, files;
    for (const SkippedDirectory& s : skipped)
        (s.file ? files : folders) << displayPath(s.path) + QStringLiteral("  (") + s.reason + u')';
    QStringList parts;
    if (!folders.isEmpty())
        parts << QStringLiteral("次のディレクトリは読み取れないため検索しませんでした：\n") + folders.join(u'\n');
    if (!files.isEmpty())
        parts << QStringLiteral("次のファイルはパスが長すぎるため登録しませんでした：\n") + files.join(u'\n');
    m_prompter.message(this, parts.join(QStringLiteral("\n\n")), UserPrompter::Icon::Warning);
}

void MainWindow::List1_OLEDragDrop(const QMimeData* data)
{
    m_status->show(QStringLiteral("登録中"));
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile())
                continue;
            // Percent-decode to the name's bytes, so names that are not UTF-8 survive.
            const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths << pathFromNative(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        }
    }
    const qsizetype added = m_listModel->registerPaths(paths);
    m_status->showTimed(QStringLiteral("登録数は%1ファイルです").arg(added));
}

void MainWindow::Command2_Click()
{
    m_status->show(QStringLiteral("取消中"));
    QList<qsizetype> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedIndexes())
        rows << i.row();
    const qsizetype removed = m_listModel->removeEntries(rows);
    m_status->showTimed(QStringLiteral("取消数は%1ファイルです").arg(removed));
}

void MainWindow::openSelectedEntries()
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    for (int row : rows)
        openWithApplication(m_listModel->entries().at(row));
}

void MainWindow::openWithApplication(const QString& path)
{
    // The opener's own verdict comes when it ends; the window may be gone by then.
    auto report = [window = QPointer<MainWindow>(this)](OpenFailure failure) {
        if (window && failure != OpenFailure::None)
            window->m_prompter.message(window, openFailureMessage(failure));
    };
    report(OpenWithAssociatedApplication(path, m_launcher, report));
}

void MainWindow::MSFlexGrid1_DblClick(const QModelIndex& clicked)
{
    if (!clicked.isValid())
        return;
    // The view's rows, sorted or filtered, stand for rows of the grid; a grid's own index is
    // taken where the view shows it.
    const int current = clicked.model() == m_grid ? m_gridProxy->mapFromSource(clicked).row() : clicked.row();
    if (current < 0)
        return;
    // The selection's other end: the row of the selected range farthest from the current row.
    int other = current;
    for (const QItemSelectionRange& range : m_gridView->selectionModel()->selection()) {
        if (range.top() <= current && current <= range.bottom())
            other = range.top() == current ? range.bottom() : range.top();
    }
    QList<int> viewRows; // bottom row first
    for (int row = std::min(std::max(current, other), m_gridProxy->rowCount() - 1); row >= std::min(current, other); --row)
        viewRows.append(row);
    for (const QString& path : m_grid->pathsToOpen(gridRows(viewRows), clicked.column())) {
        openWithApplication(path);
    }
}

void MainWindow::OpenServerDialog()
{
    FtpHostList hosts(m_settings);
    HostListDialog form4(
        hosts, m_prompter,
        [this](const QString& name, const QString& host, const QString& user, const QString& password, bool passive) {
            RemoteBrowserDialog::MainWindowHooks hooks{
                [this](const QString& path) { return m_listModel->contains(path); },
                [this](const QString& path) { m_listModel->registerPaths({path}); },
                [this](const QString& text) { m_status->show(text); },
                [this](const QString& text) { m_status->showTimed(text); },
                [this](const QString& host) { return FtpHostList(m_settings).trustedKey(host); },
                [this](const QString& host, const QByteArray& pin) { return FtpHostList(m_settings).trustKey(host, pin); }};
            RemoteBrowserDialog form5(name, host, user, password, passive, m_downloadRoot, m_prompter, hooks,
                                      m_ftpTimeouts, this);
            m_dialogs->run(form5);
        },
        this);
    m_dialogs->run(form4);
}

} // namespace tarvik
