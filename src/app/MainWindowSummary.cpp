// The 集計 pane: subtotals of the last run by file type, by folder and by category, beside the grid.
#include "app/MainWindow.h"

#include "app/DialogRunner.h"
#include "config/Categories.h"
#include "app/FileTypeEditorDialog.h"
#include "app/StatusMessage.h"
#include "app/SummaryPane.h"
#include "config/FileTypeEditor.h"
#include "output/Subtotals.h"

#include <QAction>

namespace tarvik {

namespace {

// Where the pane stood at the last exit: shown or not, its width when the user set one, the
// folder depth and the tab shown. Without the section the pane starts hidden, as it always did.
const QString kSummary = QStringLiteral("Summary");

} // namespace

void MainWindow::buildSummaryPane()
{
    m_summary = new SummaryPane(m_prompter, [this] { return m_fileDialogDir; }, this);
    addDockWidget(Qt::RightDockWidgetArea, m_summary);
    bool number = false;
    if (const int depth = m_settings.read(kSummary, QStringLiteral("Depth")).toInt(&number); number)
        m_summary->setFolderDepth(depth); // the spin box keeps it within its range
    followCategorySettings(); // before the tab: the category tab may be the one kept
    if (const int tab = m_settings.read(kSummary, QStringLiteral("Tab")).toInt(&number); number)
        m_summary->showTab(tab);
    m_summary->setUserWidth(m_settings.read(kSummary, QStringLiteral("Width")).toInt());
    const bool shown = m_settings.read(kSummary, QStringLiteral("Visible")) == u"1";
    m_summary->setVisible(shown);
    m_summaryItem->setObjectName(QStringLiteral("Mn_Syukei"));
    m_summaryItem->setCheckable(true);
    m_summaryItem->setChecked(shown);
    connect(m_summaryItem, &QAction::triggered, m_summary, &QWidget::setVisible);
    connect(m_summary, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        m_summaryItem->setChecked(!m_summary->isHidden());
        if (visible)
            refreshSummary();
    });
    connect(m_summary, &SummaryPane::folderDepthChanged, this, &MainWindow::refreshSummary);
    connect(m_summary, &SummaryPane::registerKindRequested, this, &MainWindow::registerKind);
}

void MainWindow::saveSummaryLayout()
{
    m_settings.WriteSetting(kSummary, QStringLiteral("Visible"), m_summary->isHidden() ? QStringLiteral("0") : QStringLiteral("1"));
    // A width the window chose (a third of its own) is chosen again from the window's width.
    if (m_summary->userWidth() > 0)
        m_settings.WriteSetting(kSummary, QStringLiteral("Width"), QString::number(m_summary->userWidth()));
    m_settings.WriteSetting(kSummary, QStringLiteral("Depth"), QString::number(m_summary->folderDepth()));
    m_settings.WriteSetting(kSummary, QStringLiteral("Tab"), QString::number(m_summary->shownTab()));
}

void MainWindow::showUnregistered(const UnregisteredFiles& files, const QString& status)
{
    m_summary->showUnregistered(unregisteredTable(files));
    if (files.empty()) {
        m_status->showTimed(status);
        return;
    }
    m_status->showTimed(status + QStringLiteral("　")
                        + QStringLiteral("未登録の種類のファイル %1 件は登録していません").arg(files.files()));
}

void MainWindow::registerKind(const QString& kind)
{
    // ".json" is an extension; anything else is the whole name of a file without one.
    const bool extension = kind.startsWith(u'.');
    const QString engines = m_settings.read(QStringLiteral("Engin"), QStringLiteral("Anr_Eng"));
    FileTypeEditor editor(m_settings);
    bool stored = false;
    FileTypeEditorDialog form3(editor, m_prompter, [this, &stored] {
        stored = true;
        BuildFileTypeMenu();
    }, this);
    form3.prepareAdd(engines.isEmpty() ? QStringList() : engines.split(u','),
                     extension ? FileTypeEntry::Match::Extension : FileTypeEntry::Match::Name,
                     extension ? kind.mid(1) : kind);
    m_dialogs->run(form3);
    if (stored)
        m_summary->forgetUnregistered(kind);
}

void MainWindow::rememberFolderRoot(const QString& root, const QStringList& found)
{
    for (const QString& path : found)
        m_folderRoots.insert(path, root);
}

void MainWindow::refreshSummary()
{
    if (m_summary->isHidden())
        return; // worked out when the pane is shown
    if (m_lastResults.empty()) {
        m_summary->clear();
        return;
    }
    const auto [byType, byFolder] = subtotalTables(m_summary->folderDepth());
    m_summary->showTables(byType, byFolder, categoryTable());
}

void MainWindow::followCategorySettings()
{
    if (m_summary->hasFigures())
        return; // the figures shown are of the last run's settings
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    m_summary->showCategoryTab(!Categories::fromDocument(doc).empty());
}

FolderRoots MainWindow::lastRoots() const
{
    FolderRoots roots;
    for (const FileResult& r : m_lastResults) {
        if (const auto it = m_folderRoots.constFind(r.path); it != m_folderRoots.cend())
            roots.assign(r.path, roots.add(FolderRoots::folder(*it)));
    }
    return roots;
}

std::pair<FigureTable, FigureTable> MainWindow::subtotalTables(int folderDepth) const
{
    const FolderRoots roots = lastRoots();
    CountSubtotals byType(SubtotalGrouping{SubtotalGrouping::By::Type, 1}, m_lastSettings, m_lastGenerated, &roots);
    CountSubtotals byFolder(SubtotalGrouping{SubtotalGrouping::By::Folder, folderDepth}, m_lastSettings,
                            m_lastGenerated, &roots);
    for (const FileResult& r : m_lastResults) {
        byType.add(r);
        byFolder.add(r);
    }
    return {byType.table(), byFolder.table()};
}

std::optional<FigureTable> MainWindow::categoryTable() const
{
    if (Categories::fromDocument(m_lastSettings).empty())
        return std::nullopt;
    const FolderRoots roots = lastRoots();
    CountSubtotals byCategory(SubtotalGrouping{SubtotalGrouping::By::Category, 1}, m_lastSettings, m_lastGenerated, &roots);
    for (const FileResult& r : m_lastResults)
        byCategory.add(r);
    return byCategory.table();
}

} // namespace tarvik
