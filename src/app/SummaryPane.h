#pragma once

#include "app/FigurePage.h"
#include "output/FigureTable.h"

#include <QColor>
#include <QDockWidget>

#include <algorithm>
#include <functional>
#include <optional>

class QChart;
class QChartView;
class QPushButton;
class QImage;
class QLabel;
class QPainter;
class QRectF;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace tarvik {

class UserPrompter;

// The 集計 pane beside the grid: the last run's subtotals by file type, by folder and (when the
// settings have categories) by category, each as a table and as a horizontal bar chart of
// executable lines; and the kinds of file the last folder search passed over, each of which can
// be registered from here.
class SummaryPane : public QDockWidget {
    Q_OBJECT
public:
    SummaryPane(UserPrompter& prompter, std::function<QString()> saveDirectory, QWidget* parent = nullptr);

    // The category tab is shown with `byCategory` and hidden without it.
    void showTables(const FigureTable& byType, const FigureTable& byFolder,
                    const std::optional<FigureTable>& byCategory = std::nullopt);
    // Before a run, whether the settings' categories will have a tab.
    void showCategoryTab(bool shown);
    bool categoryTabShown() const;
    // The files passed over (unregisteredTable's rows): kind, files, bytes; the total row is left
    // out, the tab says it.
    void showUnregistered(const FigureTable& table);
    // The kind of the selected row of the files passed over; empty when none is selected.
    QString selectedUnregisteredKind() const;
    // Drops the row of a kind once it is registered.
    void forgetUnregistered(const QString& kind);
    void clear();
    bool hasFigures() const { return m_hasFigures; }
    // The folder depth below each registered folder that the folder subtotals group by.
    int folderDepth() const;
    void setFolderDepth(int depth);
    // The tab as it is kept in the settings: 0 種類別, 1 フォルダ別, 2 未登録の種類 (the numbers
    // they had before categories came), 3 カテゴリ別. A hidden tab is not shown: 種類別 is.
    int shownTab() const;
    void showTab(int index);
    // The width the user gave the pane by dragging the splitter beside it; 0 while the pane
    // follows the window, a third of its width.
    int userWidth() const { return m_userWidth; }
    void setUserWidth(int width) { m_userWidth = std::max(0, width); }

    // Asks for a file name and saves the chart of the tab shown as PNG.
    void SaveChartPng();
    // Both charts, one above the other, for a printed page.
    void renderCharts(QPainter& painter, const QRectF& area) const;

    // The colour of a file type in every chart: the same for the same type, run after run.
    static QColor typeColour(const QString& kind) { return FigurePage::typeColour(kind); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void folderDepthChanged(int depth);
    // The user asked to register the kind (".json", "Makefile") for an engine.
    void registerKindRequested(const QString& kind);

private:
    FigurePage* addPage(const QString& title, const char* name);
    // Gives the pane its share of the window's width, when docked beside the grid.
    void fitWidth();

    UserPrompter& m_prompter;
    std::function<QString()> m_saveDirectory;
    QLabel* m_hint = nullptr;
    QTabWidget* m_tabs = nullptr;
    QSpinBox* m_depth = nullptr;
    FigurePage* m_byType = nullptr;
    FigurePage* m_byFolder = nullptr;
    FigurePage* m_byCategory = nullptr;
    QTableWidget* m_unregistered = nullptr;
    QPushButton* m_register = nullptr;
    FigureTable m_typeTable;
    FigureTable m_folderTable;
    FigureTable m_categoryTable;
    bool m_hasFigures = false;
    int m_userWidth = 0;
    int m_pressedWidth = -1; // the pane's width when a drag of the window's splitter began
};

} // namespace tarvik
