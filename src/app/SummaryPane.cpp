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

// More bars than this are unreadable: the smallest are shown together as one.
constexpr int kMostBars = 30;
// Each bar gets at least this height, and room for its name; past what the pane shows, the chart
// scrolls.
constexpr int kBarHeight = 22;
constexpr int kChartFrame = 90; // the title, the value axis and the margins around the bars
constexpr int kLeastChartHeight = 200;
constexpr int kLeastChartWidth = 240;
// The width charts are saved and printed at; until shown, the pane's charts are fitted to it too.
constexpr int kPrintedWidth = 900;
// Qt Charts gives the axis of names at most 40 % of the chart's width and pads each label; beyond
// that it cuts a name's end, where folders differ, so the names are cut to fit beforehand.
constexpr qreal kNamesShare = 0.4;
constexpr qreal kLabelRoom = 14;
constexpr qreal kLeastNameWidth = 60;
// What the chart keeps for fitting its labels again at another width.
constexpr char kFullNames[] = "tarvikFullNames"; // the bars' whole names, bottom bar first
constexpr char kMostLines[] = "tarvikMostLines";

// Figures grouped by thousands, even where the locale leaves that out by default (C).
QLocale figureLocale()
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

QString kstepText(int64_t steps, const QLocale& figures)
{
    const int64_t whole = steps / 1000, rest = steps % 1000;
    return (steps < 0 && whole == 0 ? QStringLiteral("-") : QString()) + figures.toString(static_cast<qlonglong>(whole))
           + figures.decimalPoint() + QString::number(rest < 0 ? -rest : rest).rightJustified(3, u'0');
}

// 1, 2, 5, 10, 20, 50, …
int64_t nextRoundStep(int64_t step)
{
    int64_t decade = 1;
    while (step >= decade * 10)
        decade *= 10;
    const int64_t leading = step / decade;
    return (leading == 1 ? 2 : leading == 2 ? 5 : 10) * decade;
}

int columnOf(const FigureTable& table, const char* key)
{
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].key == QLatin1String(key))
            return static_cast<int>(c);
    }
    return -1;
}

QString textOf(const FigureTable::Cell& cell) { return std::holds_alternative<QString>(cell) ? std::get<QString>(cell) : QString(); }
int64_t numberOf(const FigureTable::Cell& cell) { return std::holds_alternative<int64_t>(cell) ? std::get<int64_t>(cell) : 0; }

struct Bar {
    QString label;
    QString kind; // what its colour follows; empty for one colour
    int64_t value = 0;
    bool folder = false;
};

// How much the folders' names share at their start, up to a separator and short of each one's
// last folder, which stays.
qsizetype commonFolderLength(const std::vector<Bar>& bars)
{
    std::optional<QString> common;
    for (const Bar& bar : bars) {
        if (!bar.folder)
            continue;
        QString parent = bar.label;
        if (parent.endsWith(QDir::separator()))
            parent.chop(1);
        parent.truncate(parent.lastIndexOf(QDir::separator()) + 1);
        if (!common) {
            common = parent;
            continue;
        }
        qsizetype same = 0;
        while (same < common->size() && same < parent.size() && common->at(same) == parent.at(same))
            ++same;
        common->truncate(same);
    }
    return common ? common->lastIndexOf(QDir::separator()) + 1 : 0;
}

// Cut in the middle, keeping more of the end, where names differ most.
QString elideName(const QFontMetricsF& metrics, const QString& name, qreal room)
{
    if (metrics.horizontalAdvance(name) <= room)
        return name;
    const QString mark(u'…');
    qsizetype head = 0, tail = 0;
    while (head < name.size() && metrics.horizontalAdvance(name.left(head + 1)) <= room / 4)
        ++head;
    while (tail < name.size() - head && metrics.horizontalAdvance(name.left(head) + mark + name.right(tail + 1)) <= room)
        ++tail;
    return name.left(head) + mark + name.right(tail);
}

// The view takes the new chart and lets go of the old one, which is ours to delete.
void showChart(QChartView* view, QChart* chart)
{
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

void fitChart(QChart* chart, qreal width)
{
    auto* names = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).value(0));
    auto* values = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
    if (!names || !values)
        return;
    qreal left = 0, top = 0, right = 0, bottom = 0;
    chart->layout()->getContentsMargins(&left, &top, &right, &bottom);
    const qreal inner = width - left - right - chart->margins().left() - chart->margins().right();

    // A long name loses its middle; it is read whole in the table and in the bar's tool tip.
    const QFontMetricsF nameMetrics(names->labelsFont());
    const qreal room = std::max(kLeastNameWidth, kNamesShare * inner - kLabelRoom);
    QStringList shown;
    qreal widest = 0;
    for (const QString& name : chart->property(kFullNames).toStringList()) {
        QString text = elideName(nameMetrics, name, room);
        // The axis takes each name once; two cut alike stay apart by an invisible mark.
        while (shown.contains(text))
            text += QChar(0x200B);
        widest = std::max(widest, nameMetrics.horizontalAdvance(text));
        shown << text;
    }
    if (names->categories() != shown)
        names->setCategories(shown);

    // The longest bar spans the chart; lines are whole numbers, marked every round step (1, 2, 5,
    // 10, …), the smallest whose figures all have room side by side. Qt Charts gives each figure
    // an equal share of the chart's width and elides it beyond that.
    const int64_t most = std::max<int64_t>(1, chart->property(kMostLines).toLongLong());
    const QLocale figures = figureLocale();
    const QFontMetricsF valueMetrics(values->labelsFont());
    const qreal plot = inner - std::min(widest + kLabelRoom, kNamesShare * inner);
    int64_t step = 1;
    for (;; step = nextRoundStep(step)) {
        const int64_t marks = most / step + 1;
        const qreal figure = valueMetrics.horizontalAdvance(figures.toString(static_cast<qlonglong>((marks - 1) * step))) + kLabelRoom;
        if (marks <= 2 || (plot * static_cast<qreal>(step) / static_cast<qreal>(most) >= figure
                           && inner / static_cast<qreal>(marks) >= figure))
            break;
    }
    values->setRange(0, static_cast<qreal>(most));
    values->setTickType(QValueAxis::TicksDynamic);
    values->setTickAnchor(0);
    values->setTickInterval(static_cast<qreal>(step));
}

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

SummaryPane::Page SummaryPane::addPage(const QString& title, const char* name)
{
    auto* split = new QSplitter(Qt::Vertical, m_tabs);
    split->setObjectName(QString::fromLatin1(name));
    Page page;
    page.title = title;
    page.table = new QTableWidget(split);
    page.table->setObjectName(QString::fromLatin1(name) + QStringLiteral("Table"));
    page.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    page.table->verticalHeader()->hide();
    page.scroll = new QScrollArea(split);
    page.scroll->setObjectName(QString::fromLatin1(name) + QStringLiteral("Scroll"));
    page.scroll->setWidgetResizable(true);
    page.scroll->setFrameShape(QFrame::NoFrame);
    page.chart = new QChartView;
    page.chart->setObjectName(QString::fromLatin1(name) + QStringLiteral("Chart"));
    page.chart->setRenderHint(QPainter::Antialiasing);
    page.chart->setMinimumSize(kLeastChartWidth, kLeastChartHeight);
    page.chart->installEventFilter(this); // its labels are fitted to its width
    page.scroll->setWidget(page.chart);
    split->setStretchFactor(1, 2);
    m_tabs->addTab(split, title);
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
    for (const Page* page : {&m_byType, &m_byFolder, &m_byCategory}) {
        if (watched == page->chart && event->type() == QEvent::Resize)
            fitChart(page->chart->chart(), static_cast<QResizeEvent*>(event)->size().width());
        // A tab shown again may keep its width and so get no resize: fitted to it here.
        if (watched == page->chart && event->type() == QEvent::Show)
            fitChart(page->chart->chart(), page->chart->width());
    }
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
    for (Page* page : {&m_byType, &m_byFolder, &m_byCategory}) {
        page->table->clear();
        page->table->setRowCount(0);
        page->table->setColumnCount(0);
        showChart(page->chart, new QChart);
        page->chart->setMinimumHeight(kLeastChartHeight);
    }
    m_hasFigures = false;
    m_hint->show();
}

void SummaryPane::showTables(const FigureTable& byType, const FigureTable& byFolder,
                             const std::optional<FigureTable>& byCategory)
{
    m_typeTable = byType;
    m_folderTable = byFolder;
    m_categoryTable = byCategory.value_or(FigureTable{});
    fill(m_byType, byType, true);
    fill(m_byFolder, byFolder, false);
    fill(m_byCategory, m_categoryTable, false);
    showCategoryTab(byCategory.has_value());
    m_hasFigures = true;
    m_hint->hide();
}

void SummaryPane::showUnregistered(const FigureTable& table)
{
    const int kindColumn = columnOf(table, "kind"), filesColumn = columnOf(table, "files"),
              bytesColumn = columnOf(table, "bytes"), codeColumn = columnOf(table, "row");
    m_unregistered->clear();
    m_unregistered->setColumnCount(3);
    m_unregistered->setHorizontalHeaderLabels({QStringLiteral("種類"), QStringLiteral("ファイル数"), QStringLiteral("バイト数")});
    m_unregistered->setRowCount(0);
    const QLocale figures = figureLocale();
    for (const std::vector<FigureTable::Cell>& cells : table.rows) {
        if (codeColumn >= 0 && textOf(cells[static_cast<size_t>(codeColumn)]) == u"total")
            continue;
        const int row = m_unregistered->rowCount();
        m_unregistered->insertRow(row);
        m_unregistered->setItem(row, 0, new QTableWidgetItem(textOf(cells[static_cast<size_t>(kindColumn)])));
        for (const auto& [to, from] : {std::pair{1, filesColumn}, std::pair{2, bytesColumn}}) {
            const auto number = static_cast<qlonglong>(numberOf(cells[static_cast<size_t>(from)]));
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

void SummaryPane::fill(Page& page, const FigureTable& table, bool colourByType)
{
    // The table: every row and column but the machine's row code.
    const int codeColumn = columnOf(table, "row");
    QStringList headers;
    std::vector<size_t> shown;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (static_cast<int>(c) == codeColumn)
            continue;
        headers << table.columns[c].header;
        shown.push_back(c);
    }
    const QLocale figures = figureLocale();
    page.table->clear();
    page.table->setColumnCount(static_cast<int>(shown.size()));
    page.table->setRowCount(static_cast<int>(table.rows.size()));
    page.table->setHorizontalHeaderLabels(headers);
    for (size_t r = 0; r < table.rows.size(); ++r) {
        for (size_t i = 0; i < shown.size(); ++i) {
            const FigureTable::Column& column = table.columns[shown[i]];
            const FigureTable::Cell& cell = table.rows[r][shown[i]];
            QString text;
            switch (column.kind) {
            case FigureTable::Kind::Text:
                text = displayPath(textOf(cell));
                break;
            case FigureTable::Kind::Count:
                text = figures.toString(static_cast<qlonglong>(numberOf(cell)));
                break;
            case FigureTable::Kind::KStep:
                text = kstepText(numberOf(cell), figures);
                break;
            }
            auto* item = new QTableWidgetItem(text);
            if (column.kind != FigureTable::Kind::Text) {
                // The figure itself stays at hand, for whatever orders or reads the rows.
                item->setData(Qt::UserRole, static_cast<qlonglong>(numberOf(cell)));
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            page.table->setItem(static_cast<int>(r), static_cast<int>(i), item);
        }
    }
    page.table->resizeColumnsToContents();

    QChart* chart = makeChart(page.title, table, colourByType);
    // Qt Charts gives each name an equal share of the axis's height (a share more than there are
    // bars) and elides a name without the room for a line and its padding.
    const int bars = static_cast<int>(chart->property(kFullNames).toStringList().size());
    const int barHeight = std::max(kBarHeight, QFontMetrics(chart->axes(Qt::Vertical).value(0)->labelsFont()).height() + 14);
    page.chart->setMinimumHeight(std::max(kLeastChartHeight, kChartFrame + barHeight * (bars + 1)));
    fitChart(chart, page.chart->isVisible() ? page.chart->width() : kPrintedWidth);
    showChart(page.chart, chart);
}

QChart* SummaryPane::makeChart(const QString& title, const FigureTable& table, bool colourByType)
{
    const int codeColumn = columnOf(table, "row");
    // The chart: the groups' executable lines, largest first; outcome and total rows stay out.
    const int valueColumn = columnOf(table, "executable");
    const int engineColumn = columnOf(table, "engine");
    // A kind named by two engines is told apart by its engine.
    QHash<QString, int> kindCount;
    for (const auto& row : table.rows)
        ++kindCount[textOf(row[0])];
    std::vector<Bar> bars;
    for (const auto& row : table.rows) {
        const QString code = codeColumn < 0 ? QString() : textOf(row[static_cast<size_t>(codeColumn)]);
        if (code != u"kind" && code != u"folder" && code != u"category")
            continue;
        Bar bar{displayPath(textOf(row[0])), colourByType ? textOf(row[0]) : QString(),
                valueColumn < 0 ? 0 : numberOf(row[static_cast<size_t>(valueColumn)]), code == u"folder"};
        if (engineColumn >= 0 && kindCount.value(textOf(row[0])) > 1)
            bar.label += QStringLiteral(" (") + textOf(row[static_cast<size_t>(engineColumn)]) + u')';
        bars.push_back(bar);
    }
    std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.value > b.value; });
    if (bars.size() > static_cast<size_t>(kMostBars)) {
        Bar rest{QStringLiteral("その他 %1 件").arg(bars.size() - kMostBars + 1), QString(), 0};
        for (size_t i = kMostBars - 1; i < bars.size(); ++i)
            rest.value += bars[i].value;
        bars.resize(kMostBars - 1);
        bars.push_back(rest);
    }
    // Folders below one place all start alike: on the chart they start where they part.
    const qsizetype common = colourByType ? 0 : commonFolderLength(bars);

    auto* chart = new QChart;
    chart->setTitle(title + QStringLiteral("の実行行"));
    chart->legend()->hide();
    // The pane is narrow: the room goes to the names and the bars rather than to the borders.
    chart->setMargins(QMargins(4, 4, 12, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    auto* series = new QHorizontalStackedBarSeries(chart);
    QStringList categories, names;
    // The first bar on top: the category axis runs upwards.
    for (auto it = bars.rbegin(); it != bars.rend(); ++it) {
        categories << it->label;
        names << (it->folder ? it->label.mid(common) : it->label);
    }
    if (colourByType) {
        // One set a type, holding only its own bar, so that each type keeps its colour.
        for (int i = 0; i < categories.size(); ++i) {
            const Bar& bar = bars[bars.size() - 1 - static_cast<size_t>(i)];
            auto* set = new QBarSet(bar.label);
            for (int j = 0; j < categories.size(); ++j)
                *set << (j == i ? static_cast<qreal>(bar.value) : 0.0);
            set->setColor(bar.kind.isEmpty() ? QColor(Qt::gray) : typeColour(bar.kind));
            set->setBorderColor(set->color());
            series->append(set);
        }
    } else {
        auto* set = new QBarSet(QStringLiteral("実行行"));
        for (auto it = bars.rbegin(); it != bars.rend(); ++it)
            *set << static_cast<qreal>(it->value);
        set->setColor(QColor(0x4e, 0x79, 0xa7));
        set->setBorderColor(set->color());
        series->append(set);
    }
    chart->addSeries(series);
    auto* axisY = new QBarCategoryAxis(chart);
    axisY->append(categories);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    auto* axisX = new QValueAxis(chart);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    // Figures as the tables show them, grouped by thousands.
    chart->setLocale(figureLocale());
    chart->setLocalizeNumbers(true);
    axisX->setLabelFormat(QStringLiteral("%.0f"));
    int64_t most = 0;
    for (const Bar& bar : bars)
        most = std::max(most, bar.value);
    chart->setProperty(kFullNames, names);
    chart->setProperty(kMostLines, static_cast<qlonglong>(most));
    // A name cut short is read whole in the bar's tool tip.
    QObject::connect(series, &QAbstractBarSeries::hovered, chart, [chart, categories, series](bool on, int index) {
        qreal lines = 0;
        for (const QBarSet* set : series->barSets())
            lines += set->at(index);
        chart->setToolTip(on && index >= 0 && index < categories.size()
                              ? categories[index] + QStringLiteral(": ") + figureLocale().toString(lines, 'f', 0)
                              : QString());
    });
    return chart;
}

namespace {

// A view of its own for a chart, sized to its bars, never shown.
std::unique_ptr<QChartView> offscreenView(QChart* chart)
{
    auto view = std::make_unique<QChartView>(chart);
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->setRenderHint(QPainter::Antialiasing);
    int bars = 0;
    if (auto* series = qobject_cast<QHorizontalStackedBarSeries*>(chart->series().value(0))) {
        for (const QBarSet* set : series->barSets())
            bars = std::max(bars, static_cast<int>(set->count()));
    }
    view->resize(kPrintedWidth, std::max(320, 110 + 34 * bars));
    // A view never shown gets no resize event: the chart is given its size here.
    fitChart(chart, view->width());
    chart->resize(view->size());
    return view;
}

} // namespace

QImage SummaryPane::chartImage(const QString& title, const FigureTable& table, bool colourByType)
{
    return offscreenView(makeChart(title, table, colourByType))->grab().toImage();
}

QColor SummaryPane::typeColour(const QString& kind)
{
    // FNV-1a of the name: a hue that depends on nothing but the name.
    uint32_t hash = 2166136261u;
    for (QChar c : kind) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return QColor::fromHsv(static_cast<int>(hash % 360), 150 + static_cast<int>((hash >> 9) % 60),
                           180 + static_cast<int>((hash >> 17) % 50));
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
    const Page* pages[] = {&m_byType, &m_byFolder, &m_byCategory};
    const FigureTable* tables[] = {&m_typeTable, &m_folderTable, &m_categoryTable};
    const int current = m_tabs->currentIndex();
    const int index = current >= 0 && current < static_cast<int>(std::size(pages)) ? current : 0;
    const QImage image = chartImage(pages[index]->title, *tables[index], index == 0);
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
        // Drawn, not pasted as a picture: the printer gets lines and text at its own resolution.
        const std::unique_ptr<QChartView> view = offscreenView(makeChart(m_tabs->tabText(index), *table, index == 0));
        const QRectF box(area.left(), area.top() + slot++ * half, area.width(), half * 0.95);
        const qreal scale = std::min(box.width() / view->width(), box.height() / view->height());
        view->scene()->render(&painter, QRectF(box.topLeft(), QSizeF(view->width() * scale, view->height() * scale)),
                              QRectF(QPointF(0, 0), view->size()));
    }
}

} // namespace tarvik
