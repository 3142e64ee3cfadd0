#include "app/SummaryPane.h"

#include "app/UserPrompter.h"
#include "config/NativePath.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>

namespace tarvik {

namespace {

// The tabs' places in the pane by the number kept in the settings for each (see shownTab): the
// tabs that were there before カテゴリ別 keep their numbers, so a kept tab is found again.
constexpr int kPlaceOfKept[] = {0, 1, 3, 2};
constexpr int kCategoryPlace = 2;

} // namespace

SummaryPane::SummaryPane(UserPrompter& prompter, std::function<QString()> saveDirectory, QWidget* parent)
    : QDockWidget(QStringLiteral("集計"), parent), m_prompter(prompter), m_saveDirectory(std::move(saveDirectory))
{
    setObjectName(QStringLiteral("SummaryPane"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    m_hint = new QLabel(QStringLiteral("ファイルまたはフォルダを登録して「解析」(F5) を実行すると、ここに種類別・フォルダ別の集計が表示されます。"),
                        body);
    m_hint->setObjectName(QStringLiteral("SummaryHint"));
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);
    m_tabs = new QTabWidget(body);
    m_tabs->setObjectName(QStringLiteral("SummaryTabs"));
    m_byType = addPage(QStringLiteral("種類別"), "ByType");
    m_byFolder = addPage(QStringLiteral("フォルダ別"), "ByFolder");
    m_byCategory = addPage(QStringLiteral("カテゴリ別"), "ByCategory");
    {
        auto* page = new QWidget(m_tabs);
        page->setObjectName(QStringLiteral("Unregistered"));
        auto* column = new QVBoxLayout(page);
        m_unregistered = new QTableWidget(page);
        m_unregistered->setObjectName(QStringLiteral("UnregisteredTable"));
        m_unregistered->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_unregistered->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_unregistered->setSelectionMode(QAbstractItemView::SingleSelection);
        m_unregistered->verticalHeader()->hide();
        column->addWidget(m_unregistered, 1);
        m_register = new QPushButton(QStringLiteral("この種類を登録..."), page);
        m_register->setObjectName(QStringLiteral("RegisterKind"));
        m_register->setEnabled(false);
        column->addWidget(m_register, 0, Qt::AlignRight);
        m_tabs->addTab(page, QStringLiteral("未登録の種類"));
        connect(m_unregistered, &QTableWidget::itemSelectionChanged, this,
                [this] { m_register->setEnabled(!selectedUnregisteredKind().isEmpty()); });
        connect(m_register, &QPushButton::clicked, this, [this] {
            if (const QString kind = selectedUnregisteredKind(); !kind.isEmpty())
                emit registerKindRequested(kind);
        });
    }
    m_tabs->setTabVisible(kCategoryPlace, false); // until the settings have categories
    layout->addWidget(m_tabs, 1);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("フォルダの深さ"), body));
    m_depth = new QSpinBox(body);
    m_depth->setObjectName(QStringLiteral("FolderDepth"));
    m_depth->setRange(1, 32);
    controls->addWidget(m_depth);
    controls->addStretch(1);
    auto* save = new QPushButton(QStringLiteral("グラフをPNGで保存"), body);
    save->setObjectName(QStringLiteral("SaveChartPng"));
    controls->addWidget(save);
    layout->addLayout(controls);
    setWidget(body);

    connect(m_depth, &QSpinBox::valueChanged, this, &SummaryPane::folderDepthChanged);
    connect(save, &QPushButton::clicked, this, &SummaryPane::SaveChartPng);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            fitWidth();
    });
    // The window's resizes widen the pane with it, and a drag of its splitter is the user's width.
    if (parent)
        parent->installEventFilter(this);
    clear();
}

FigurePage* SummaryPane::addPage(const QString& title, const char* name)
{
    auto* page = new FigurePage(title, QString::fromLatin1(name), m_tabs);
    m_tabs->addTab(page, title);
    return page;
}

int SummaryPane::folderDepth() const { return m_depth->value(); }

void SummaryPane::setFolderDepth(int depth) { m_depth->setValue(depth); }

int SummaryPane::shownTab() const
{
    const int place = m_tabs->currentIndex();
    for (int kept = 0; kept < static_cast<int>(std::size(kPlaceOfKept)); ++kept) {
        if (kPlaceOfKept[kept] == place)
            return kept;
    }
    return 0;
}

void SummaryPane::showTab(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(kPlaceOfKept)))
        return;
    const int place = kPlaceOfKept[index];
    m_tabs->setCurrentIndex(m_tabs->isTabVisible(place) ? place : 0);
}

void SummaryPane::showCategoryTab(bool shown)
{
    if (shown == m_tabs->isTabVisible(kCategoryPlace))
        return;
    const bool wasCurrent = m_tabs->currentIndex() == kCategoryPlace;
    m_tabs->setTabVisible(kCategoryPlace, shown);
    if (wasCurrent && !shown)
        m_tabs->setCurrentIndex(0);
}

bool SummaryPane::categoryTabShown() const { return m_tabs->isTabVisible(kCategoryPlace); }

bool SummaryPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget()) {
        switch (event->type()) {
        case QEvent::Resize:
            if (m_userWidth == 0)
                fitWidth();
            break;
        // Presses that reach the window itself, not one of its widgets, are on its splitters.
        case QEvent::MouseButtonPress:
            m_pressedWidth = width();
            break;
        case QEvent::MouseButtonRelease:
            if (m_pressedWidth >= 0 && isVisible() && !isFloating() && width() != m_pressedWidth)
                m_userWidth = width();
            m_pressedWidth = -1;
            break;
        default:
            break;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

void SummaryPane::fitWidth()
{
    auto* window = qobject_cast<QMainWindow*>(parentWidget());
    if (!window || isHidden() || isFloating())
        return;
    const Qt::DockWidgetArea area = window->dockWidgetArea(this);
    if (area != Qt::LeftDockWidgetArea && area != Qt::RightDockWidgetArea)
        return;
    const int wanted = m_userWidth > 0 ? m_userWidth : window->width() / 3;
    if (wanted != width())
        window->resizeDocks({this}, {wanted}, Qt::Horizontal);
}

void SummaryPane::clear()
{
    for (FigurePage* page : {m_byType, m_byFolder, m_byCategory})
        page->clear();
    m_hasFigures = false;
    m_hint->show();
}

void SummaryPane::showTables(const FigureTable& byType, const FigureTable& byFolder,
                             const std::optional<FigureTable>& byCategory)
{
    m_typeTable = byType;
    m_folderTable = byFolder;
    m_categoryTable = byCategory.value_or(FigureTable{});
    m_byType->showFigures(byType, true);
    m_byFolder->showFigures(byFolder, false);
    m_byCategory->showFigures(m_categoryTable, false);
    showCategoryTab(byCategory.has_value());
    m_hasFigures = true;
    m_hint->hide();
}

void SummaryPane::showUnregistered(const FigureTable& table)
{
    const int kindColumn = FigurePage::columnOf(table, "kind"), filesColumn = FigurePage::columnOf(table, "files"),
              bytesColumn = FigurePage::columnOf(table, "bytes"), codeColumn = FigurePage::columnOf(table, "row");
    m_unregistered->clear();
    m_unregistered->setColumnCount(3);
    m_unregistered->setHorizontalHeaderLabels({QStringLiteral("種類"), QStringLiteral("ファイル数"), QStringLiteral("バイト数")});
    m_unregistered->setRowCount(0);
    const QLocale figures = FigurePage::figureLocale();
    for (const std::vector<FigureTable::Cell>& cells : table.rows) {
        if (codeColumn >= 0 && FigurePage::textOf(cells[static_cast<size_t>(codeColumn)]) == u"total")
            continue;
        const int row = m_unregistered->rowCount();
        m_unregistered->insertRow(row);
        m_unregistered->setItem(row, 0, new QTableWidgetItem(FigurePage::textOf(cells[static_cast<size_t>(kindColumn)])));
        for (const auto& [to, from] : {std::pair{1, filesColumn}, std::pair{2, bytesColumn}}) {
            const auto number = static_cast<qlonglong>(FigurePage::numberOf(cells[static_cast<size_t>(from)]));
            auto* item = new QTableWidgetItem(figures.toString(number));
            item->setData(Qt::UserRole, number);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_unregistered->setItem(row, to, item);
        }
    }
    m_register->setEnabled(!selectedUnregisteredKind().isEmpty());
}

QString SummaryPane::selectedUnregisteredKind() const
{
    const QList<QTableWidgetItem*> selected = m_unregistered->selectedItems();
    if (selected.isEmpty())
        return {};
    const QTableWidgetItem* kind = m_unregistered->item(selected.first()->row(), 0);
    return kind ? kind->text() : QString();
}

void SummaryPane::forgetUnregistered(const QString& kind)
{
    for (int row = m_unregistered->rowCount() - 1; row >= 0; --row) {
        if (m_unregistered->item(row, 0) && m_unregistered->item(row, 0)->text() == kind)
            m_unregistered->removeRow(row);
    }
    m_register->setEnabled(!selectedUnregisteredKind().isEmpty());
}

void SummaryPane::SaveChartPng()
{
    if (!m_hasFigures) {
        m_prompter.message(this, QStringLiteral("保存できるグラフがありません。先に解析して下さい。"));
        return;
    }
    const QString path = m_prompter.saveFile(this, QStringLiteral("グラフをPNGで保存"), m_saveDirectory(),
                                             QStringLiteral("PNG 画像 (*.png)"));
    if (path.isEmpty())
        return;
    // The files passed over have no chart: from their tab, the chart by type.
    const FigurePage* pages[] = {m_byType, m_byFolder, m_byCategory};
    const FigureTable* tables[] = {&m_typeTable, &m_folderTable, &m_categoryTable};
    const int current = m_tabs->currentIndex();
    const int index = current >= 0 && current < static_cast<int>(std::size(pages)) ? current : 0;
    const QImage image = FigurePage::chartImage(pages[index]->title(), *tables[index], index == 0);
    // Replaced whole or not at all, like every other file we write.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        m_prompter.message(this, QStringLiteral("グラフを保存できませんでした。\n%1\n%2").arg(displayPath(path), file.errorString()),
                           UserPrompter::Icon::Warning);
    }
}

void SummaryPane::renderCharts(QPainter& painter, const QRectF& area) const
{
    // Each chart in its half of the page, scaled as a whole and kept in proportion.
    const qreal half = area.height() / 2;
    int slot = 0;
    for (const auto& [index, table] : {std::pair{0, &m_typeTable}, std::pair{1, &m_folderTable}}) {
        const QRectF box(area.left(), area.top() + slot++ * half, area.width(), half * 0.95);
        FigurePage::renderChart(painter, box, m_tabs->tabText(index), *table, index == 0);
    }
}

} // namespace tarvik
