#pragma once

#include "output/FigureTable.h"

#include <QColor>
#include <QDockWidget>

#include <functional>

class QChart;
class QChartView;
class QImage;
class QPainter;
class QRectF;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace tarvik {

class UserPrompter;

// The 集計 pane beside the grid: the last run's subtotals by file type and by folder, each as a
// table and as a horizontal bar chart of executable lines.
class SummaryPane : public QDockWidget {
    Q_OBJECT
public:
    SummaryPane(UserPrompter& prompter, std::function<QString()> saveDirectory, QWidget* parent = nullptr);

    void showTables(const FigureTable& byType, const FigureTable& byFolder);
    void clear();
    bool hasFigures() const { return m_hasFigures; }
    // The folder depth below each registered folder that the folder subtotals group by.
    int folderDepth() const;

    // Asks for a file name and saves the chart of the tab shown as PNG.
    void SaveChartPng();
    // Both charts, one above the other, for a printed page.
    void renderCharts(QPainter& painter, const QRectF& area) const;

    // The colour of a file type in every chart: the same for the same type, run after run.
    static QColor typeColour(const QString& kind);

signals:
    void folderDepthChanged(int depth);

private:
    struct Page {
        QTableWidget* table = nullptr;
        QChartView* chart = nullptr;
    };
    Page addPage(const QString& title, const char* name);
    void fill(Page& page, const FigureTable& table, bool colourByType);
    // A chart of the table's groups, to show, save or print.
    static QChart* makeChart(const QString& title, const FigureTable& table, bool colourByType);
    // The chart drawn at a size of its own, whatever the pane's size: as PNG, or on a page.
    static QImage chartImage(const QString& title, const FigureTable& table, bool colourByType);

    UserPrompter& m_prompter;
    std::function<QString()> m_saveDirectory;
    QTabWidget* m_tabs = nullptr;
    QSpinBox* m_depth = nullptr;
    Page m_byType;
    Page m_byFolder;
    FigureTable m_typeTable;
    FigureTable m_folderTable;
    bool m_hasFigures = false;
};

} // namespace tarvik
