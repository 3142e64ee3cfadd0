// The result grid's view: the bar above it (the filter box, the legend of generated files), the
// generated files' total in the status bar, sorting by a column, and the width of the path column.
#include "app/MainWindow.h"

#include "app/ResultGridProxy.h"
#include "config/SettingsStore.h"
#include "output/ResultGridModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>

namespace tarvik {

void MainWindow::buildGridBar(QWidget* central)
{
    m_gridBar = new QWidget(central);
    m_gridBar->setObjectName(QStringLiteral("GridBar"));
    auto* layout = new QHBoxLayout(m_gridBar);
    layout->setContentsMargins(0, 0, 0, 0);
    m_filterBox = new QLineEdit(m_gridBar);
    m_filterBox->setObjectName(QStringLiteral("FilterBox"));
    m_filterBox->setPlaceholderText(QStringLiteral("パスまたは種類で絞り込み"));
    m_filterBox->setClearButtonEnabled(true);
    m_filterBox->setFixedWidth(px(4200));
    connect(m_filterBox, &QLineEdit::textChanged, m_gridProxy, &ResultGridProxy::setFilterText);
    layout->addWidget(m_filterBox);
    // The rows of generated files kept out of the totals have a colour of their own: this says which.
    m_generatedLegend = new QLabel(ResultGridModel::generatedLegend(), m_gridBar);
    m_generatedLegend->setObjectName(QStringLiteral("GeneratedLegend"));
    m_generatedLegend->setAutoFillBackground(true);
    QPalette legend = m_generatedLegend->palette();
    legend.setColor(QPalette::Window, ResultGridModel::generatedBackground());
    legend.setColor(QPalette::WindowText, Qt::black);
    m_generatedLegend->setPalette(legend);
    m_generatedLegend->setMargin(2);
    m_generatedLegend->hide();
    layout->addSpacing(px(240));
    layout->addWidget(m_generatedLegend);
    layout->addStretch();

    // Beside the totals row, which keeps its own figures: what was counted apart.
    m_generatedTotal = new QLabel(this);
    m_generatedTotal->setObjectName(QStringLiteral("GeneratedTotal"));
    m_generatedTotal->hide();
    statusBar()->addPermanentWidget(m_generatedTotal);

    QHeaderView* header = m_gridView->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::sortGridBy);
    // A click on a title sorts; it no longer selects the column as well.
    QObject::disconnect(header, SIGNAL(sectionPressed(int)), m_gridView, SLOT(selectColumn(int)));
    QObject::disconnect(header, SIGNAL(sectionEntered(int)), m_gridView, SLOT(_q_selectColumn(int)));
    // Another column made wider or narrower leaves the path column the rest.
    connect(header, &QHeaderView::sectionResized, this, [this](int column) {
        if (column != 1)
            fitPathColumn();
    });
    m_gridView->viewport()->installEventFilter(this);
    connect(m_gridView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_running)
            m_gridScrolledInRun = true;
    });
    connect(m_grid, &ResultGridModel::runBegun, this, &MainWindow::gridRunBegun);
}

void MainWindow::gridRunBegun()
{
    // The results come in list order; the choice of the run decides which rows are marked.
    m_gridProxy->sort(-1);
    m_gridView->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_gridScrolledInRun = false;
    m_generatedLegend->hide();
    m_generatedTotal->clear();
    m_generatedTotal->hide();
    m_grid->setGeneratedSetAside(generatedFiles() == GeneratedFiles::Separate);
    IniDocument settings;
    SettingsStore::loadDocument(m_settings.path(), settings, nullptr);
    m_grid->setFileTypes(settings);
}

void MainWindow::showRunEndInGrid(const RunSummary& summary, GeneratedFiles generated)
{
    if (generated == GeneratedFiles::Separate && m_grid->runTotalSteps()) {
        m_generatedTotal->setText(ResultGridModel::generatedTotalText(summary, QLocale::system().decimalPoint()));
        m_generatedTotal->show();
        m_generatedLegend->setVisible(summary.generatedFiles > 0);
    }
    // The totals row is the last one, however the rows are sorted or filtered.
    if (!m_gridScrolledInRun)
        m_gridView->scrollToBottom();
}

void MainWindow::sortGridBy(int column)
{
    // Nothing to sort before a run has written a file, nor while one writes them; the filler
    // column has nothing to sort by.
    if (!m_running && column >= 0 && column < ResultGridModel::kColumnCount - 1 && m_grid->runRowCount() > 0) {
        const bool again = m_gridProxy->sortColumn() == column && m_gridProxy->sortOrder() == Qt::AscendingOrder;
        m_gridProxy->sort(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    // The header's own click turned its arrow: it shows the rows' order instead.
    m_gridView->horizontalHeader()->setSortIndicator(m_gridProxy->sortColumn(), m_gridProxy->sortOrder());
}

void MainWindow::fitPathColumn()
{
    // The last column holds nothing but colour: it gives up its width first, so the path
    // column takes every free pixel.
    const int last = ResultGridModel::kColumnCount - 1;
    int others = 0;
    for (int column = 0; column < last; ++column) {
        if (column != 1)
            others += m_gridView->columnWidth(column);
    }
    // Never narrower than its design width: a narrow window scrolls sideways instead.
    const int width = std::max(px(ResultGridModel::columnWidthTwips(1)), m_gridView->viewport()->width() - others);
    if (width != m_gridView->columnWidth(1))
        m_gridView->setColumnWidth(1, width);
    const int rest = std::max(0, m_gridView->viewport()->width() - others - width);
    if (rest != m_gridView->columnWidth(last))
        m_gridView->setColumnWidth(last, rest);
}

QList<qsizetype> MainWindow::gridRows(const QList<int>& viewRows) const { return m_gridProxy->sourceRows(viewRows); }

} // namespace tarvik
