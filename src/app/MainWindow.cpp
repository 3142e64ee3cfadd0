// The window itself: its controls and their layout, start-up, and the confirmed exit. The
// commands live beside it: MainWindowMenus, MainWindowToolbar, MainWindowIntake, MainWindowRun,
// MainWindowSaving and MainWindowPrinting; the result grid's view in MainWindowGrid.
#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AnalysisListModel.h"
#include "app/DialogRunner.h"
#include "app/MainWindowSettings.h"
#include "app/MenuKeys.h"
#include "app/PrintCommand.h"
#include "app/ResultGridProxy.h"
#include "app/StatusMessage.h"
#include "app/SummaryPane.h"
#include "app/UserPrompter.h"
#include "output/ResultGridModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QWindow>

#include <algorithm>

namespace tarvik {

namespace {

using namespace form1;

// The Windows Japanese fonts the layout was made for fall back to Debian's Japanese fonts.
void addJapaneseFontFallbacks()
{
    static const bool added = [] {
        QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                                   {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                                    QStringLiteral("VL Gothic")});
        QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"),
                                   {QStringLiteral("IPAMincho"), QStringLiteral("Noto Serif CJK JP")});
        return true;
    }();
    (void)added;
}

QFont gothic(double points)
{
    QFont f(QStringLiteral("ＭＳ ゴシック"));
    f.setPointSizeF(points);
    f.setStyleHint(QFont::TypeWriter);
    return f;
}

bool isUserInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
        return true;
    default:
        return false;
    }
}

} // namespace

MainWindow::MainWindow(const QString& settingsPath, UserPrompter& prompter, ApplicationLauncher& launcher,
                       QWidget* parent)
    : QMainWindow(parent), m_settings(settingsPath), m_startFolder(QDir::currentPath()),
      m_remembering(prompter, m_settings, [this] { return m_fileDialogDir; }, [this] { return firstDialogFolder(); }),
      m_prompter(m_remembering), m_launcher(launcher),
      m_downloadRoot(QCoreApplication::applicationDirPath()), m_modalRunner(std::make_unique<ModalDialogRunner>()),
      m_dialogs(m_modalRunner.get())
{
    m_printerSource = defaultPrinterSource();
    addJapaneseFontFallbacks();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvik"));
    buildMenus();
    buildToolbar();
    buildControls();
    buildSummaryPane();
    keepMenuKeysWindowWide(*this);
    Form_Load();
}

MainWindow::~MainWindow()
{
    // Closing the window as it is destroyed hides the pane: nothing of this window may answer.
    if (m_summary)
        disconnect(m_summary, nullptr, this, nullptr);
}

void MainWindow::buildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);

    for (int i = 0; i < 2; ++i) {
        m_line1[i] = new QFrame(central);
        m_line1[i]->setObjectName(QStringLiteral("Line1_%1").arg(i));
        m_line2[i] = new QFrame(central);
        m_line2[i]->setObjectName(QStringLiteral("Line2_%1").arg(i));
        for (QFrame* f : {m_line1[i], m_line2[i]}) {
            f->setFrameShape(QFrame::HLine);
            f->setFrameShadow(i == 0 ? QFrame::Sunken : QFrame::Raised);
        }
    }

    m_label2 = new QLabel(QStringLiteral("▼解析するファイル(ドラッグ＆ドロップ可)"), central);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_list = new QListView(central);
    m_list->setObjectName(QStringLiteral("List1"));
    m_listModel = new AnalysisListModel(this);
    m_list->setModel(m_listModel);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_list->setFont(gothic(9.75));
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QListView::doubleClicked, this, [this] { openSelectedEntries(); });

    m_label3 = new QLabel(QStringLiteral("▼解析結果"), central);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_gridView = new QTableView(central);
    m_gridView->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_grid = new ResultGridModel(this);
    // The view sorts and filters; the commands that save or print read m_grid in list order.
    m_gridProxy = new ResultGridProxy(m_grid, this);
    m_gridView->setModel(m_gridProxy);
    m_gridView->setFont(gothic(9.75));
    m_gridView->verticalHeader()->hide();
    m_gridView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gridView->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_gridView->font()).height() + 4);
    m_gridView->setWordWrap(false);
    m_gridView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_gridView->setSelectionMode(QAbstractItemView::ContiguousSelection);
    for (int c = 0; c < 6; ++c)
        m_gridView->setColumnWidth(c, px(ResultGridModel::columnWidthTwips(c)));
    // Folders and names differ towards their end: a long one is cut in its middle (the folder's
    // tool tip shows it whole).
    m_gridView->setTextElideMode(Qt::ElideMiddle);
    connect(m_gridView, &QTableView::doubleClicked, this, &MainWindow::MSFlexGrid1_DblClick);
    m_gridView->installEventFilter(this); // Ctrl+C copies whole rows, not the view's current cell
    central->installEventFilter(this);    // the 集計 pane beside it changes its width

    m_progress = new QProgressBar(central);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_cancelButton = new QPushButton(QStringLiteral("中止"), central);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_cancelButton->setFocusPolicy(Qt::NoFocus); // a click leaves the focus where the user had it
    m_cancelButton->hide();
    connect(m_cancelButton, &QPushButton::clicked, this, &MainWindow::cancelRun);

    m_reportBox = new QPlainTextEdit(central);
    m_reportBox->setObjectName(QStringLiteral("RichTextBox1"));
    m_reportBox->setReadOnly(true); // typed characters never change the report
    m_reportBox->setFont(gothic(11.25));
    m_reportBox->hide();

    // The form's hidden buttons: the entry points the menu and toolbar share.
    const struct {
        const char* name;
        const char16_t* caption;
    } buttons[] = {{"Command1", u"登録"}, {"Command2", u"取消"}, {"Command3", u"解析"}, {"Command4", u"終了"}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf16(b.caption), central);
        button->setObjectName(QString::fromLatin1(b.name));
        button->hide();
    }
    connect(central->findChild<QPushButton*>(QStringLiteral("Command2")), &QPushButton::clicked, this,
            &MainWindow::Command2_Click);
    connect(central->findChild<QPushButton*>(QStringLiteral("Command3")), &QPushButton::clicked, this,
            &MainWindow::RunAnalysis);
    connect(central->findChild<QPushButton*>(QStringLiteral("Command4")), &QPushButton::clicked, this,
            [this] { Command4_Click(); });

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);
    m_status = new StatusMessage(statusBar(), this);
    buildGridBar(central);
}

double MainWindow::dpiX() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

double MainWindow::dpiY() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchY() : 96.0;
}

int MainWindow::px(double twips) const { return WindowGeometry::toPixels(twips, dpiX()); }
int MainWindow::pxY(double twips) const { return WindowGeometry::toPixels(twips, dpiY()); }

void MainWindow::Form_Load()
{
    // Something that is there but cannot be read (a folder, a FIFO, an oversized file) must not
    // pass for an empty settings file unnoticed; a missing one is simply a first start.
    const QString refused = m_settings.unreadableReason();
    if (!refused.isEmpty()) {
        m_prompter.message(this,
                           QStringLiteral("設定ファイルを読めないため、既定の設定で始めます。設定の変更は保存されません。\n%1\n%2")
                               .arg(m_settings.path(), refused),
                           UserPrompter::Icon::Warning);
    }
    BuildFileTypeMenu();
    setFileDialogDirectory(m_settings.read(kDir, QStringLiteral("Def_Dir")));
    m_kigou->setChecked(m_settings.read(kMode, QStringLiteral("Count_Mode")) != u"0");
    m_searchSubdirs->setChecked(m_settings.read(kMode, QStringLiteral("Serch_Mode")) != u"0");
    // Older settings files lack the key: generated files are then counted like any other.
    const int generated = m_settings.read(kMode, QStringLiteral("Gen_Mode")).toInt();
    m_generatedItems.value(generated >= 0 && generated < m_generatedItems.size() ? generated : 0)->setChecked(true);

    m_startGeometry = WindowGeometry::fromSettings(
        m_settings.read(kDir, QStringLiteral("State")), m_settings.read(kDir, QStringLiteral("Disp_Heigh")),
        m_settings.read(kDir, QStringLiteral("Disp_Width")), m_settings.read(kDir, QStringLiteral("Disp_Topps")),
        m_settings.read(kDir, QStringLiteral("Disp_Lftps")));
    // A window closed maximised kept its normal rectangle apart (older files lack it: the
    // defaults stand behind the maximised window then).
    if (m_startGeometry.state == WindowGeometry::State::Maximised
        && !m_settings.read(kDir, QStringLiteral("Norm_Width")).isEmpty()) {
        const WindowGeometry normal = WindowGeometry::fromSettings(
            QStringLiteral("0"), m_settings.read(kDir, QStringLiteral("Norm_Heigh")),
            m_settings.read(kDir, QStringLiteral("Norm_Width")), m_settings.read(kDir, QStringLiteral("Norm_Topps")),
            m_settings.read(kDir, QStringLiteral("Norm_Lftps")));
        m_startGeometry = normal;
        m_startGeometry.state = WindowGeometry::State::Maximised;
    }
    // The stored rectangle is the window's outer one, frame included; until the frame is known
    // (once the window is shown) the inside takes its size.
    m_restoredFrame = QRect(px(m_startGeometry.leftTwips), pxY(m_startGeometry.topTwips), px(m_startGeometry.widthTwips),
                            pxY(m_startGeometry.heightTwips));
    setGeometry(*m_restoredFrame);
    if (m_startGeometry.state == WindowGeometry::State::Maximised)
        setWindowState(Qt::WindowMaximized);

    m_grid->beginRun(0);
    m_status->showDate();
}

void MainWindow::showRestored()
{
    if (m_startGeometry.state == WindowGeometry::State::Maximised)
        showMaximized();
    else
        show();
    fitRestoredFrame();
}

void MainWindow::fitRestoredFrame()
{
    if (!m_restoredFrame || !windowHandle() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    // Known once the window system has framed the window (at once, or when it first activates).
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull())
        return;
    setGeometry(m_restoredFrame->marginsRemoved(frame));
    m_restoredFrame.reset();
}

QString MainWindow::firstDialogFolder() const
{
    if (!m_listModel->entries().isEmpty()) {
        const QFileInfo first(m_listModel->entries().first());
        if (first.absoluteDir().exists())
            return first.absolutePath();
    }
    if (m_startFolder != u"/" && m_startFolder != QCoreApplication::applicationDirPath() && QFileInfo(m_startFolder).isDir())
        return m_startFolder;
    return QDir::homePath();
}

void MainWindow::setFileDialogDirectory(const QString& dir)
{
    m_fileDialogDir = dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

bool MainWindow::symbolLinesCounted() const { return m_kigou->isChecked(); }

bool MainWindow::event(QEvent* event)
{
    // Browsing the menus would put their (empty) status tips in place of the date or the last
    // message, and nothing would bring it back.
    if (event->type() == QEvent::StatusTip)
        return true;
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) {
        fitRestoredFrame();
        m_restoredFrame.reset(); // from now on the user places the window
    }
    return handled;
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void MainWindow::Form_Resize()
{
    if (!m_gridView)
        return;
    // Design positions are in twips of the form, whose client area starts above the toolbar of
    // 420 twips; the controls sit below the real toolbar at the same distances, whatever its height.
    const int toolbar = pxY(420);
    auto y = [&](double formTwips) { return pxY(formTwips) - toolbar; };
    const int width = centralWidget()->width();

    for (int i = 0; i < 2; ++i) {
        m_line1[i]->setGeometry(0, i == 0 ? 0 : 1, px(11640), 2);
        m_line2[i]->setGeometry(0, y(i == 0 ? 435 : 480), width, 2);
    }
    m_label2->setGeometry(0, y(600), width, pxY(255));
    m_label3->setGeometry(0, y(3600), width, pxY(270));
    m_list->setGeometry(0, y(840), width, pxY(2790));
    const int progressHeight = pxY(180);
    // The filter box's bar sits between the title and the grid.
    const int barHeight = m_gridBar->sizeHint().height();
    m_gridBar->setGeometry(0, y(3840), width, barHeight);
    const int gridTop = y(3840) + barHeight;
    // During a run the 中止 button ends the progress bar's row, which takes the button's height.
    const QSize button = m_cancelButton->isHidden() ? QSize(0, 0) : m_cancelButton->sizeHint();
    const int rowHeight = std::max(progressHeight, button.height());
    const int barWidth = std::max(0, width - button.width());
    m_gridView->setGeometry(0, gridTop, width, m_gridView->height());
    m_progress->setGeometry(0, m_progress->y(), barWidth, progressHeight);
    // The grid takes the rest of the height above the progress bar (the status bar has its own).
    const int gridHeight = centralWidget()->height() - gridTop - rowHeight;
    if (gridHeight < 0)
        return; // too small: keep the layout reached so far
    m_gridView->setGeometry(0, gridTop, width, gridHeight);
    const int rowTop = gridTop + gridHeight;
    m_progress->setGeometry(0, rowTop + (rowHeight - progressHeight) / 2, barWidth, progressHeight);
    if (!m_cancelButton->isHidden())
        m_cancelButton->setGeometry(barWidth, rowTop, button.width(), rowHeight);
}

void MainWindow::clearReport()
{
    m_report.clear();
    m_reportBox->clear();
    m_runFailed = false;
}

void MainWindow::setRunning(bool running)
{
    m_running = running;
    if (running) {
        m_cancelRequested = false;
        qApp->installEventFilter(this);
    } else {
        qApp->removeEventFilter(this);
    }
    m_cancelButton->setEnabled(true);
    m_cancelButton->setVisible(running);
    Form_Resize();
}

void MainWindow::cancelRun()
{
    m_cancelRequested = true;
    // The files under way are finished first; meanwhile the button shows the request was taken.
    m_cancelButton->setEnabled(false);
}

bool MainWindow::reachesCancelButton(QObject* watched, QEvent* event) const
{
    const QEvent::Type t = event->type();
    if (m_cancelButton->isHidden() || !m_cancelButton->isEnabled()
        || (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonRelease && t != QEvent::MouseButtonDblClick))
        return false;
    if (watched == m_cancelButton)
        return true;
    // A click from the window system comes to the window first, which hands it to the widget
    // under it, or to the button it was pressed on.
    if (watched != windowHandle())
        return false;
    const QPoint at = m_cancelButton->mapFrom(this, static_cast<QMouseEvent*>(event)->position().toPoint());
    return m_cancelButton->rect().contains(at) || m_cancelButton->isDown();
}

void MainWindow::showAbout()
{
    AboutDialog about(this);
    about.exec();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (m_running && isUserInput(event->type())) {
        // Input is held back during a run, but for a request to stop it: Esc anywhere in the
        // window, or a click on 中止.
        const bool inWindow = watched == windowHandle()
            || (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this);
        if (inWindow && event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancelRun();
            event->accept();
            return true;
        }
        return !reachesCancelButton(watched, event);
    }
    if (watched == m_gridView && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress)
            CopyGridRows();
        event->accept();
        return true;
    }
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        Form_Resize();
    if (m_gridView && watched == m_gridView->viewport() && event->type() == QEvent::Resize)
        fitPathColumn();
    if (watched == m_list->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            List1_OLEDragDrop(drop->mimeData());
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                showListContextMenu(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::Command4_Click()
{
    if (!m_prompter.askYesNo(this, QStringLiteral("終了しますか？"), false))
        return false;
    // The outer rectangle, frame included, as the next start restores it.
    const QRect g = frameGeometry();
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Heigh"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.height(), dpiY())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Width"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.width(), dpiX())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Topps"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.y(), dpiY())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Lftps"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.x(), dpiX())));
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    m_settings.WriteSetting(kDir, QStringLiteral("State"), QString::number(state));
    // The rectangle the window had before it was maximised, for when it is restored next time:
    // the inside one, which a maximised start sets before the frame is known.
    if (state == 2) {
        const QRect n = normalGeometry();
        m_settings.WriteSetting(kDir, QStringLiteral("Norm_Heigh"), WindowGeometry::twipsText(WindowGeometry::toTwips(n.height(), dpiY())));
        m_settings.WriteSetting(kDir, QStringLiteral("Norm_Width"), WindowGeometry::twipsText(WindowGeometry::toTwips(n.width(), dpiX())));
        m_settings.WriteSetting(kDir, QStringLiteral("Norm_Topps"), WindowGeometry::twipsText(WindowGeometry::toTwips(n.y(), dpiY())));
        m_settings.WriteSetting(kDir, QStringLiteral("Norm_Lftps"), WindowGeometry::twipsText(WindowGeometry::toTwips(n.x(), dpiX())));
    }
    // Closing the last window ends the program.
    m_exiting = true;
    close();
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Every way of closing goes through the confirmation; nothing closes during a run.
    if (m_exiting || (!m_running && Command4_Click())) {
        saveSummaryLayout();
        event->accept();
        return;
    }
    event->ignore();
}

} // namespace tarvik
