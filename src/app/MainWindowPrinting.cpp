// Printing the result grid.
#include "app/MainWindow.h"

#include "app/PrintCommand.h"
#include "app/SummaryPane.h"
#include "app/UserPrompter.h"
#include "output/PrintLayout.h"
#include "output/ResultGridModel.h"

#include <QLabel>

namespace tarvik {

void MainWindow::PrintResults()
{
    if (m_grid->cellText(0, 0).trimmed().isEmpty()) {
        m_prompter.message(this, QStringLiteral("印刷可能データが存在しません"));
        return;
    }
    QList<PrintLayout::Row> rows;
    for (qsizetype r = 0; r < m_grid->rowCount(); ++r)
        rows.append({m_grid->cellText(r, 0), m_grid->cellText(r, 2), m_grid->cellText(r, 3), m_grid->cellText(r, 4)});
    // With the 集計 pane shown its charts follow the results on a page of their own.
    DrawnPage charts;
    if (!m_summary->isHidden() && m_summary->hasFigures())
        charts = [this](QPainter& painter, const QRectF& area) { m_summary->renderCharts(painter, area); };
    // Rows in list order, whatever the view's order; the generated files' total after the totals.
    QStringList closing;
    if (!m_generatedTotal->text().isEmpty())
        closing << QStringLiteral("     ") + m_generatedTotal->text(); // under the titles
    printWithConsent(this, m_prompter, m_printerSource, m_fileDialogDir, PrintLayout::pages(rows, closing), charts);
}

} // namespace tarvik
