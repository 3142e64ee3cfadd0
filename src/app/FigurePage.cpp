#include "app/FigurePage.h"

#include "config/NativePath.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QEvent>
#include <QGraphicsLayout>
#include <QHash>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <memory>
#include <optional>

namespace tarvik {

namespace {

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
        // The axis reads its labels as rich text: a name such as "Ann <ann@example.org>" is
        // escaped, or its address is taken for a tag and dropped.
        const QString cut = elideName(nameMetrics, name, room);
        QString text = cut.toHtmlEscaped();
        // The axis takes each name once; two cut alike stay apart by an invisible mark.
        while (shown.contains(text))
            text += QChar(0x200B);
        widest = std::max(widest, nameMetrics.horizontalAdvance(cut));
        shown << text;
    }
    if (names->categories() != shown)
        names->setCategories(shown);

    // The longest bar spans the chart; lines are whole numbers, marked every round step (1, 2, 5,
    // 10, …), the smallest whose figures all have room side by side. Qt Charts gives each figure
    // an equal share of the chart's width and elides it beyond that.
    const int64_t most = std::max<int64_t>(1, chart->property(kMostLines).toLongLong());
    const QLocale figures = FigurePage::figureLocale();
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

// Figures grouped by thousands, even where the locale leaves that out by default (C).
QLocale FigurePage::figureLocale()
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

int FigurePage::columnOf(const FigureTable& table, const char* key)
{
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].key == QLatin1String(key))
            return static_cast<int>(c);
    }
    return -1;
}

QString FigurePage::textOf(const FigureTable::Cell& cell) { return std::holds_alternative<QString>(cell) ? std::get<QString>(cell) : QString(); }
int64_t FigurePage::numberOf(const FigureTable::Cell& cell) { return std::holds_alternative<int64_t>(cell) ? std::get<int64_t>(cell) : 0; }

FigurePage::FigurePage(const QString& title, const QString& name, QWidget* parent)
    : QSplitter(Qt::Vertical, parent), m_title(title)
{
    setObjectName(name);
    m_table = new QTableWidget(this);
    m_table->setObjectName(name + QStringLiteral("Table"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(name + QStringLiteral("Scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_chart = new QChartView;
    m_chart->setObjectName(name + QStringLiteral("Chart"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumSize(kLeastChartWidth, kLeastChartHeight);
    m_chart->installEventFilter(this); // its labels are fitted to its width
    scroll->setWidget(m_chart);
    setStretchFactor(1, 2);
}

void FigurePage::clear()
{
    m_table->clear();
    m_table->setRowCount(0);
    m_table->setColumnCount(0);
    showChart(m_chart, new QChart);
    m_chart->setMinimumHeight(kLeastChartHeight);
}

bool FigurePage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_chart && event->type() == QEvent::Resize)
        fitChart(m_chart->chart(), static_cast<QResizeEvent*>(event)->size().width());
    // A tab shown again may keep its width and so get no resize: fitted to it here.
    if (watched == m_chart && event->type() == QEvent::Show)
        fitChart(m_chart->chart(), m_chart->width());
    return QSplitter::eventFilter(watched, event);
}

void FigurePage::showFigures(const FigureTable& table, bool colourByType)
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
    m_table->clear();
    m_table->setColumnCount(static_cast<int>(shown.size()));
    m_table->setRowCount(static_cast<int>(table.rows.size()));
    m_table->setHorizontalHeaderLabels(headers);
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
            m_table->setItem(static_cast<int>(r), static_cast<int>(i), item);
        }
    }
    m_table->resizeColumnsToContents();

    QChart* chart = makeChart(m_title, table, colourByType);
    // Qt Charts gives each name an equal share of the axis's height (a share more than there are
    // bars) and elides a name without the room for a line and its padding.
    const int bars = static_cast<int>(chart->property(kFullNames).toStringList().size());
    const int barHeight = std::max(kBarHeight, QFontMetrics(chart->axes(Qt::Vertical).value(0)->labelsFont()).height() + 14);
    m_chart->setMinimumHeight(std::max(kLeastChartHeight, kChartFrame + barHeight * (bars + 1)));
    fitChart(chart, m_chart->isVisible() ? m_chart->width() : kPrintedWidth);
    showChart(m_chart, chart);
}

QChart* FigurePage::makeChart(const QString& title, const FigureTable& table, bool colourByType)
{
    const int codeColumn = columnOf(table, "row");
    // The chart: the groups' executable lines (a comparison's: its modification size), largest
    // first; outcome, deleted and total rows stay out.
    const bool comparison = columnOf(table, "executable") < 0;
    const int valueColumn = columnOf(table, comparison ? "modified" : "executable");
    const QString what = comparison ? QStringLiteral("改造規模") : QStringLiteral("実行行");
    const int engineColumn = columnOf(table, "engine");
    // A kind named by two engines is told apart by its engine.
    QHash<QString, int> kindCount;
    for (const auto& row : table.rows)
        ++kindCount[textOf(row[0])];
    std::vector<Bar> bars;
    for (const auto& row : table.rows) {
        const QString code = codeColumn < 0 ? QString() : textOf(row[static_cast<size_t>(codeColumn)]);
        if (code != u"kind" && code != u"folder" && code != u"category" && code != u"author")
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
    chart->setTitle(title + QStringLiteral("の") + what);
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
        auto* set = new QBarSet(what);
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
                              ? QStringLiteral("<qt>") + categories[index].toHtmlEscaped() + QStringLiteral(": ")
                                    + figureLocale().toString(lines, 'f', 0)
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

QColor FigurePage::typeColour(const QString& kind)
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

QImage FigurePage::chartImage(const QString& title, const FigureTable& table, bool colourByType)
{
    return offscreenView(makeChart(title, table, colourByType))->grab().toImage();
}

void FigurePage::renderChart(QPainter& painter, const QRectF& box, const QString& title, const FigureTable& table,
                             bool colourByType)
{
    // Drawn, not pasted as a picture: the printer gets lines and text at its own resolution.
    const std::unique_ptr<QChartView> view = offscreenView(makeChart(title, table, colourByType));
    const qreal scale = std::min(box.width() / view->width(), box.height() / view->height());
    view->scene()->render(&painter, QRectF(box.topLeft(), QSizeF(view->width() * scale, view->height() * scale)),
                          QRectF(QPointF(0, 0), view->size()));
}

} // namespace tarvik
