#include "app/SummaryPane.h"

#include "app/UserPrompter.h"
#include "config/NativePath.h"
#include "counting/TextReport.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace tarvik {

namespace {

// More bars than this are unreadable: the smallest are shown together as one.
constexpr int kMostBars = 30;
constexpr qsizetype kLongestLabel = 40;

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
};

// The view takes the new chart and lets go of the old one, which is ours to delete.
void showChart(QChartView* view, QChart* chart)
{
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

SummaryPane::SummaryPane(UserPrompter& prompter, std::function<QString()> saveDirectory, QWidget* parent)
    : QDockWidget(QStringLiteral("集計"), parent), m_prompter(prompter), m_saveDirectory(std::move(saveDirectory))
{
    setObjectName(QStringLiteral("SummaryPane"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    m_tabs = new QTabWidget(body);
    m_tabs->setObjectName(QStringLiteral("SummaryTabs"));
    m_byType = addPage(QStringLiteral("種類別"), "ByType");
    m_byFolder = addPage(QStringLiteral("フォルダ別"), "ByFolder");
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
    clear();
}

SummaryPane::Page SummaryPane::addPage(const QString& title, const char* name)
{
    auto* split = new QSplitter(Qt::Vertical, m_tabs);
    split->setObjectName(QString::fromLatin1(name));
    Page page;
    page.table = new QTableWidget(split);
    page.table->setObjectName(QString::fromLatin1(name) + QStringLiteral("Table"));
    page.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    page.table->verticalHeader()->hide();
    page.chart = new QChartView(split);
    page.chart->setObjectName(QString::fromLatin1(name) + QStringLiteral("Chart"));
    page.chart->setRenderHint(QPainter::Antialiasing);
    page.chart->setMinimumHeight(200);
    m_tabs->addTab(split, title);
    return page;
}

int SummaryPane::folderDepth() const { return m_depth->value(); }

void SummaryPane::clear()
{
    for (Page* page : {&m_byType, &m_byFolder}) {
        page->table->clear();
        page->table->setRowCount(0);
        page->table->setColumnCount(0);
        showChart(page->chart, new QChart);
    }
    m_hasFigures = false;
}

void SummaryPane::showTables(const FigureTable& byType, const FigureTable& byFolder)
{
    m_typeTable = byType;
    m_folderTable = byFolder;
    fill(m_byType, byType, true);
    fill(m_byFolder, byFolder, false);
    m_hasFigures = true;
}

void SummaryPane::showUnregistered(const FigureTable& table)
{
    const int kindColumn = columnOf(table, "kind"), filesColumn = columnOf(table, "files"),
              bytesColumn = columnOf(table, "bytes"), codeColumn = columnOf(table, "row");
    m_unregistered->clear();
    m_unregistered->setColumnCount(3);
    m_unregistered->setHorizontalHeaderLabels({QStringLiteral("種類"), QStringLiteral("ファイル数"), QStringLiteral("バイト数")});
    m_unregistered->setRowCount(0);
    const QLocale locale;
    for (const std::vector<FigureTable::Cell>& cells : table.rows) {
        if (codeColumn >= 0 && textOf(cells[static_cast<size_t>(codeColumn)]) == u"total")
            continue;
        const int row = m_unregistered->rowCount();
        m_unregistered->insertRow(row);
        m_unregistered->setItem(row, 0, new QTableWidgetItem(textOf(cells[static_cast<size_t>(kindColumn)])));
        for (const auto& [to, from] : {std::pair{1, filesColumn}, std::pair{2, bytesColumn}}) {
            auto* item = new QTableWidgetItem(locale.toString(static_cast<qlonglong>(numberOf(cells[static_cast<size_t>(from)]))));
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
    const QString point = QLocale::system().decimalPoint();
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
                text = QString::number(numberOf(cell));
                break;
            case FigureTable::Kind::KStep:
                text = TextReport::kstepFigure(numberOf(cell), point);
                break;
            }
            auto* item = new QTableWidgetItem(text);
            if (column.kind != FigureTable::Kind::Text)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            page.table->setItem(static_cast<int>(r), static_cast<int>(i), item);
        }
    }
    page.table->resizeColumnsToContents();

    showChart(page.chart, makeChart(m_tabs->tabText(&page == &m_byType ? 0 : 1), table, colourByType));
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
        if (code != u"kind" && code != u"folder")
            continue;
        QString label = displayPath(textOf(row[0]));
        if (label.size() > kLongestLabel) // a folder's own end tells it apart
            label = u'…' + label.right(kLongestLabel - 1);
        Bar bar{label, colourByType ? textOf(row[0]) : QString(),
                valueColumn < 0 ? 0 : numberOf(row[static_cast<size_t>(valueColumn)])};
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

    auto* chart = new QChart;
    chart->setTitle(title + QStringLiteral("の実行行"));
    chart->legend()->hide();
    auto* series = new QHorizontalStackedBarSeries(chart);
    QStringList categories;
    // The first bar on top: the category axis runs upwards.
    for (auto it = bars.rbegin(); it != bars.rend(); ++it)
        categories << it->label;
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
    // Lines are whole numbers: small figures get a tick per line, larger ones round steps.
    int64_t most = 0;
    for (const Bar& bar : bars)
        most = std::max(most, bar.value);
    axisX->setLabelFormat(QStringLiteral("%.0f"));
    if (most < 8) {
        axisX->setRange(0, static_cast<qreal>(std::max<int64_t>(most, 1)));
        axisX->setTickCount(static_cast<int>(std::max<int64_t>(most, 1)) + 1);
    } else {
        axisX->setRange(0, static_cast<qreal>(most));
        axisX->applyNiceNumbers();
    }
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
    view->resize(900, std::max(320, 110 + 34 * bars));
    // A view never shown gets no resize event: the chart is given its size here.
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
    const int index = m_tabs->currentIndex() == 1 ? 1 : 0;
    const bool byType = index == 0;
    const QImage image = chartImage(m_tabs->tabText(index), byType ? m_typeTable : m_folderTable, byType);
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
