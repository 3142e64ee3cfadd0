#pragma once

#include "output/FigureTable.h"

#include <QColor>
#include <QSplitter>
#include <QString>

class QChart;
class QChartView;
class QImage;
class QLocale;
class QPainter;
class QRectF;
class QTableWidget;

namespace tarvik {

// One table of subtotals shown two ways, one above the other: as a table, and as a horizontal bar
// chart of each group's steps, largest first (executable lines; for a comparison, the
// modification size). The chart scrolls when its bars need more height than there is.
class FigurePage : public QSplitter {
    Q_OBJECT
public:
    // Named `name`; its table `<name>Table`, its chart `<name>Chart` in `<name>Scroll`.
    FigurePage(const QString& title, const QString& name, QWidget* parent = nullptr);

    const QString& title() const { return m_title; }
    QTableWidget* table() const { return m_table; }
    QChartView* chart() const { return m_chart; }

    // Every row and column of `table` but the machine's row code; bars coloured by file type
    // with `colourByType`.
    void showFigures(const FigureTable& table, bool colourByType);
    void clear();

    // The chart drawn at a size of its own, whatever the page's: as PNG, or on a printed page
    // in `box`, kept in proportion.
    static QImage chartImage(const QString& title, const FigureTable& table, bool colourByType);
    static void renderChart(QPainter& painter, const QRectF& box, const QString& title, const FigureTable& table,
                            bool colourByType);

    // The colour of a file type in every chart: the same for the same type, run after run.
    static QColor typeColour(const QString& kind);

    // Figures grouped by thousands, even where the locale leaves that out by default (C).
    static QLocale figureLocale();
    // A table's column by its key; -1 when it has none.
    static int columnOf(const FigureTable& table, const char* key);
    static QString textOf(const FigureTable::Cell& cell);
    static int64_t numberOf(const FigureTable::Cell& cell);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QChart* makeChart(const QString& title, const FigureTable& table, bool colourByType);

    QString m_title;
    QTableWidget* m_table = nullptr;
    QChartView* m_chart = nullptr;
};

} // namespace tarvik
