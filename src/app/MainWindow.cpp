#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AnalysisListModel.h"
#include "app/BackgroundWork.h"
#include "app/BasicSettingsDialog.h"
#include "app/DialogRunner.h"
#include "app/DiffDialog.h"
#include "app/DiffResultWindow.h"
#include "app/HostListDialog.h"
#include "app/PrintCommand.h"
#include "app/RemoteBrowserDialog.h"
#include "app/StatusMessage.h"
#include "app/UserPrompter.h"
#include "config/FileTypeEditor.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/AnalysisRun.h"
#include "counting/TextReport.h"
#include "counting/VersionDiff.h"
#include "ftp/FtpHostList.h"
#include "intake/DirectoryWalk.h"
#include "intake/FileOpener.h"
#include "output/CsvFormat.h"
#include "output/LogFile.h"
#include "output/PrintLayout.h"
#include "output/ResultGridModel.h"
#include "output/ResultPrinter.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvik {

namespace {

const QString kDir = QStringLiteral("DIR");
const QString kMode = QStringLiteral("Mode");

// Toolbar buttons: key, tool tip, theme icon, drawn symbol when the theme has none.
struct ToolButton {
    const char16_t* key;
    const char16_t* tip;
    const char* themeIcon;
    const char16_t* symbol;
    QColor colour;
};

const ToolButton kToolButtons[] = {
    {u"解析ファイルを開く(Local)", u"ローカルファイルを開く", "document-open", u"F", QColor(70, 130, 180)},
    {u"解析ファイルを開く(Directry)", u"ローカルディレクトリを開く", "folder-open", u"D", QColor(218, 165, 32)},
    {u"解析ファイルを開く(NetWork)", u"ネットワークファイルを開く", "network-server", u"N", QColor(60, 150, 90)},
    {u"保存", u"ログファイルを作成します(*.tvk)", "document-save", u"S", QColor(100, 100, 200)},
    {u"印刷", u"結果を印刷します", "document-print", u"P", QColor(120, 120, 120)},
    {u"解析", u"登録ファイルを解析します", "system-run", u"▶", QColor(200, 60, 60)},
};

QIcon toolIcon(const ToolButton& b)
{
    QIcon themed = QIcon::fromTheme(QString::fromLatin1(b.themeIcon));
    if (!themed.isNull())
        return themed;
    // No icon theme (a bare X server, for instance): draw a plain, visible one.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(b.colour);
    p.setPen(b.colour.darker(150));
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(18);
    p.setFont(f);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromUtf16(b.symbol));
    return QIcon(pm);
}

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

// The analysis run's results, handed to the window in batches as they come.
class RunBridge : public ResultSink, public HandOver<std::pair<qsizetype, FileResult>, RunSummary> {
public:
    using HandOver::HandOver;
    void fileAnalysed(qsizetype index, const FileResult& result) override { add({index, result}); }
};

} // namespace

MainWindow::MainWindow(const QString& settingsPath, UserPrompter& prompter, ApplicationLauncher& launcher,
                       QWidget* parent)
    : QMainWindow(parent), m_settings(settingsPath), m_prompter(prompter), m_launcher(launcher),
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
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key = {}) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        QAction* s = menu->addSeparator();
        s->setObjectName(QString::fromLatin1(name));
        return s;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("Mn_File"));
    connect(action(file, "Mn_FileOpen", QStringLiteral("ローカルファイルを開く"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, &MainWindow::OpenLocalFiles);
    connect(action(file, "Mn_DirOpen", QStringLiteral("ローカルディレクトリを開く"), QKeySequence(Qt::CTRL | Qt::Key_D)),
            &QAction::triggered, this, &MainWindow::OpenLocalDirectory);
    connect(action(file, "Mn_ServOpen", QStringLiteral("サーバディレクトリを開く"), QKeySequence(Qt::CTRL | Qt::Key_F)),
            &QAction::triggered, this, &MainWindow::OpenServerDialog);
    connect(action(file, "Mn_Diff", QStringLiteral("差分解析"), QKeySequence(Qt::CTRL | Qt::Key_M)), &QAction::triggered,
            this, &MainWindow::CompareVersions);
    connect(action(file, "Mn_FileSave", QStringLiteral("名前を付けて保存(*.tvk)"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, &MainWindow::SaveLog);
    connect(action(file, "Mn_CsvSave", QStringLiteral("CSV形式で保存")), &QAction::triggered, this,
            &MainWindow::SaveCsv);
    connect(action(file, "Mn_FilePrint", QStringLiteral("印刷"), QKeySequence(Qt::CTRL | Qt::Key_P)),
            &QAction::triggered, this, &MainWindow::PrintResults);
    separator(file, "separator1");
    connect(action(file, "Mn_End", QStringLiteral("終了"), QKeySequence(Qt::CTRL | Qt::Key_E)), &QAction::triggered,
            this, [this] { Command4_Click(); });

    m_editMenu = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    m_editMenu->setObjectName(QStringLiteral("Mn_hensyu"));
    connect(action(m_editMenu, "Mn_sakuzyo", QStringLiteral("削除"), QKeySequence(Qt::Key_Delete)),
            &QAction::triggered, this, &MainWindow::Command2_Click);
    m_separator2 = separator(m_editMenu, "separator2");
    m_kaiseki = action(m_editMenu, "Mn_kaiseki", QStringLiteral("解析"), QKeySequence(Qt::Key_F5));
    connect(m_kaiseki, &QAction::triggered, this, &MainWindow::RunAnalysis);
    m_fopen = action(m_editMenu, "Mn_Fopen", QStringLiteral("ファイルを開く"));
    connect(m_fopen, &QAction::triggered, this, &MainWindow::openSelectedEntries);

    QMenu* set = menuBar()->addMenu(QStringLiteral("設定(&O)"));
    set->setObjectName(QStringLiteral("Mn_Set"));
    m_kigou = action(set, "Mn_Kigou", QStringLiteral("記号行カウント"));
    m_kigou->setCheckable(true);
    // Each toggle is stored at once, so it survives a crash of the program.
    connect(m_kigou, &QAction::triggered, this, [this](bool checked) {
        m_settings.WriteSetting(kMode, QStringLiteral("Count_Mode"), checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    m_searchMenu = set->addMenu(QStringLiteral("ディレクトリ検索設定"));
    m_searchMenu->setObjectName(QStringLiteral("Mn_Serch"));
    m_searchSubdirs = action(m_searchMenu, "Mn_Serch_Sub_0", QStringLiteral("サブディレクトリも検索"));
    m_searchSubdirs->setCheckable(true);
    connect(m_searchSubdirs, &QAction::triggered, this, [this](bool checked) {
        m_settings.WriteSetting(kMode, QStringLiteral("Serch_Mode"), checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    separator(set, "separator4");
    connect(action(set, "Mn_Kihon", QStringLiteral("基本設定")), &QAction::triggered, this, &MainWindow::Mn_Kihon_Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ(&H)"));
    help->setObjectName(QStringLiteral("Mn_Help"));
    connect(action(help, "Mn_Version", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報")), &QAction::triggered, this,
            &MainWindow::showAbout);
}

void MainWindow::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    for (const ToolButton& b : kToolButtons) {
        const QString key = QString::fromUtf16(b.key);
        QAction* a = m_toolbar->addAction(toolIcon(b), key);
        a->setObjectName(key);
        a->setToolTip(QString::fromUtf16(b.tip));
        connect(a, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    }
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
    m_gridView->setModel(m_grid);
    m_gridView->setFont(gothic(9.75));
    m_gridView->verticalHeader()->hide();
    m_gridView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gridView->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_gridView->font()).height() + 4);
    m_gridView->setWordWrap(false);
    m_gridView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_gridView->setSelectionMode(QAbstractItemView::ContiguousSelection);
    for (int c = 0; c < 6; ++c)
        m_gridView->setColumnWidth(c, px(ResultGridModel::columnWidthTwips(c)));
    connect(m_gridView, &QTableView::doubleClicked, this, &MainWindow::MSFlexGrid1_DblClick);
    m_gridView->installEventFilter(this); // Ctrl+C copies whole rows, not the view's current cell

    m_progress = new QProgressBar(central);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);

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

    m_startGeometry = WindowGeometry::fromSettings(
        m_settings.read(kDir, QStringLiteral("State")), m_settings.read(kDir, QStringLiteral("Disp_Heigh")),
        m_settings.read(kDir, QStringLiteral("Disp_Width")), m_settings.read(kDir, QStringLiteral("Disp_Topps")),
        m_settings.read(kDir, QStringLiteral("Disp_Lftps")));
    setGeometry(px(m_startGeometry.leftTwips), pxY(m_startGeometry.topTwips), px(m_startGeometry.widthTwips),
                pxY(m_startGeometry.heightTwips));
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
}

void MainWindow::setFileDialogDirectory(const QString& dir)
{
    m_fileDialogDir = dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

bool MainWindow::symbolLinesCounted() const { return m_kigou->isChecked(); }

void MainWindow::BuildFileTypeMenu()
{
    for (QAction* a : std::as_const(m_fileTypeItems)) {
        m_searchMenu->removeAction(a);
        delete a;
    }
    m_fileTypeItems.clear();
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    const FileTypeTable table = FileTypeTable::fromDocument(doc);
    for (const FileTypeEntry& e : table.entries()) {
        auto* item = new QAction(e.extension, m_searchMenu);
        item->setObjectName(QStringLiteral("Mn_Serch_Sub_%1").arg(m_fileTypeItems.size() + 1));
        item->setCheckable(true);
        item->setChecked(e.searched());
        connect(item, &QAction::triggered, this, [this, item] { toggleFileType(item); });
        m_searchMenu->addAction(item);
        m_fileTypeItems << item;
    }
}

void MainWindow::toggleFileType(QAction* item)
{
    // The entry keeps its engine and source kind; only the search flag changes.
    const QString key = QStringLiteral("Lang_") + item->text();
    const QString entry = m_settings.read(QStringLiteral("Engin"), key);
    m_settings.WriteSetting(QStringLiteral("Engin"), key, FileTypeEditor::withSearchFlag(entry, item->isChecked()));
}

void MainWindow::Mn_Kihon_Click()
{
    BasicSettingsDialog form2(m_settings, m_prompter, *m_dialogs,
                              {[this] { BuildFileTypeMenu(); }, [this](const QString& dir) { setFileDialogDirectory(dir); }},
                              this);
    m_dialogs->run(form2);
}

void MainWindow::OpenServerDialog()
{
    FtpHostList hosts(m_settings);
    HostListDialog form4(
        hosts, m_prompter,
        [this](const QString& name, const QString& host, const QString& user, const QString& password) {
            RemoteBrowserDialog::MainWindowHooks hooks{
                [this](const QString& path) { return m_listModel->contains(path); },
                [this](const QString& path) { m_listModel->registerPaths({path}); },
                [this](const QString& text) { m_status->show(text); },
                [this](const QString& text) { m_status->showTimed(text); }};
            RemoteBrowserDialog form5(name, host, user, password, m_downloadRoot, m_prompter, hooks, m_ftpTimeouts,
                                      this);
            m_dialogs->run(form5);
        },
        this);
    m_dialogs->run(form4);
}

void MainWindow::CompareVersions()
{
    if (m_running)
        return;
    DiffDialog dialog(m_prompter, m_fileDialogDir, this);
    m_dialogs->run(dialog);
    if (dialog.result() != QDialog::Accepted)
        return;
    const DiffRequest request{dialog.oldFolder(), dialog.newFolder(), searchedExtensions(), m_searchSubdirs->isChecked()};

    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_status->show(QStringLiteral("比較中"));
    QCoreApplication::processEvents();
    IniDocument settings;
    SettingsStore::loadDocument(m_settings.path(), settings, nullptr);
    EngineTable engines(settings);
    const AnalysisOptions options{m_kigou->isChecked(), std::max(1, QThread::idealThreadCount())};
    // As in the analysis run: the window keeps painting and input waits until the end.
    m_running = true;
    qApp->installEventFilter(this);
    QList<FileChange> changes;
    const DiffSummary summary =
        compareInBackground(request, engines, options, changes, [this, &changes](qsizetype done, qsizetype total) {
            m_progress->setRange(0, static_cast<int>(std::max<qsizetype>(total, 1)));
            m_progress->setValue(static_cast<int>(done));
            m_status->show(changes.back().relativePath + QStringLiteral("を比較中"));
        });
    qApp->removeEventFilter(this);
    m_running = false;
    m_progress->setValue(0);
    QApplication::restoreOverrideCursor();

    reportSkippedDirectories(summary.skipped);
    if (!summary.completed()) {
        m_status->showDate();
        m_prompter.message(this, unexpectedErrorMessage(), UserPrompter::Icon::Warning);
        return;
    }
    m_status->showTimed(QStringLiteral("%1個のファイルを比較しました").arg(summary.handledFiles));
    auto* result = new DiffResultWindow(request, std::move(changes), summary.totals, m_prompter, m_printerSource,
                                        m_fileDialogDir, this);
    result->show();
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
    // Design positions are in twips of the form, whose client area starts above the toolbar.
    const int toolbar = m_toolbar->isVisible() ? m_toolbar->height() : pxY(420);
    auto y = [&](double formTwips) { return pxY(formTwips) - toolbar; };
    const int width = centralWidget()->width();
    const int innerHeight = centralWidget()->height() + toolbar + statusBar()->height();

    for (int i = 0; i < 2; ++i) {
        m_line1[i]->setGeometry(0, i == 0 ? 0 : 1, px(11640), 2);
        m_line2[i]->setGeometry(0, y(i == 0 ? 435 : 480), width, 2);
    }
    m_label2->setGeometry(0, y(600), width, pxY(255));
    m_label3->setGeometry(0, y(3600), width, pxY(270));
    m_list->setGeometry(0, y(840), width, pxY(2790));
    const int progressHeight = pxY(180);
    const int gridTop = y(3840);
    m_gridView->setGeometry(0, gridTop, width, m_gridView->height());
    m_progress->setGeometry(0, m_progress->y(), width, progressHeight);
    const int gridHeight = innerHeight - pxY(3840) - progressHeight - toolbar;
    if (gridHeight < 0)
        return; // too small: keep the layout reached so far
    m_gridView->setGeometry(0, gridTop, width, gridHeight);
    m_progress->setGeometry(0, gridTop + gridHeight, width, progressHeight);
}

void MainWindow::Toolbar1_ButtonClick(const QString& key)
{
    if (key == QString::fromUtf16(kToolButtons[0].key))
        OpenLocalFiles();
    else if (key == QString::fromUtf16(kToolButtons[1].key))
        OpenLocalDirectory();
    else if (key == QString::fromUtf16(kToolButtons[2].key))
        OpenServerDialog();
    else if (key == QString::fromUtf16(kToolButtons[3].key))
        SaveLog();
    else if (key == QString::fromUtf16(kToolButtons[4].key))
        PrintResults();
    else if (key == QString::fromUtf16(kToolButtons[5].key))
        RunAnalysis();
}

void MainWindow::clearReport()
{
    m_report.clear();
    m_reportBox->clear();
}

void MainWindow::OpenLocalFiles()
{
    for (;;) {
        m_status->show(QStringLiteral("登録中"));
        const QStringList picked = m_prompter.openFiles(this, QStringLiteral("解析ファイルを開く"), m_fileDialogDir,
                                                        QStringLiteral("全てのファイル (*)"));
        if (picked.isEmpty())
            return;
        if (picked.size() > 1)
            clearReport();
        const qsizetype added = m_listModel->registerPaths(picked);
        m_status->showTimed(QStringLiteral("登録数は%1ファイルです").arg(added));
    }
}

void MainWindow::OpenLocalDirectory()
{
    for (;;) {
        const QString folder = m_prompter.chooseFolder(this, QStringLiteral("解析ディレクトリを開く"), m_fileDialogDir);
        if (folder.isEmpty())
            return;
        m_status->show(QStringLiteral("登録中"));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const WalkReport report = DirectoryWalk(searchedExtensions(), m_searchSubdirs->isChecked())
                                      .walkConcurrently(folder, [&](const QStringList& found) {
                                          m_listModel->registerPending(found);
                                      });
        const qsizetype added = m_listModel->showPending();
        QApplication::restoreOverrideCursor();
        m_status->showTimed(QStringLiteral("登録数は%1ファイルです").arg(added));
        reportSkippedDirectories(report.skipped);
    }
}

// The file types the directory search takes: those checked in the search settings menu.
QStringList MainWindow::searchedExtensions() const
{
    QStringList extensions;
    for (const QAction* item : std::as_const(m_fileTypeItems)) {
        if (item->isChecked())
            extensions << item->text();
    }
    return extensions;
}

void MainWindow::reportSkippedDirectories(const QList<SkippedDirectory>& skipped)
{
    if (skipped.isEmpty())
        return;
    // Folders not searched and files left out are told apart: a file that exists must not read
    // as a folder that could not be listed.
    QStringList folders, files;
    for (const SkippedDirectory& s : skipped)
        (s.file ? files : folders) << displayPath(s.path) + QStringLiteral("  (") + s.reason + u')';
    QStringList parts;
    if (!folders.isEmpty())
        parts << QStringLiteral("次のディレクトリは読み取れないため検索しませんでした：\n") + folders.join(u'\n');
    if (!files.isEmpty())
        parts << QStringLiteral("次のファイルはパスが長すぎるため登録しませんでした：\n") + files.join(u'\n');
    m_prompter.message(this, parts.join(QStringLiteral("\n\n")), UserPrompter::Icon::Warning);
}

void MainWindow::List1_OLEDragDrop(const QMimeData* data)
{
    m_status->show(QStringLiteral("登録中"));
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile())
                continue;
            // Percent-decode to the name's bytes, so names that are not UTF-8 survive.
            const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths << pathFromNative(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        }
    }
    const qsizetype added = m_listModel->registerPaths(paths);
    m_status->showTimed(QStringLiteral("登録数は%1ファイルです").arg(added));
}

void MainWindow::Command2_Click()
{
    m_status->show(QStringLiteral("取消中"));
    QList<qsizetype> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedIndexes())
        rows << i.row();
    const qsizetype removed = m_listModel->removeEntries(rows);
    m_status->showTimed(QStringLiteral("取消数は%1ファイルです").arg(removed));
}

void MainWindow::openSelectedEntries()
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        const OpenFailure failure = OpenWithAssociatedApplication(m_listModel->entries().at(row), m_launcher);
        if (failure != OpenFailure::None)
            m_prompter.message(this, openFailureMessage(failure));
    }
}

void MainWindow::MSFlexGrid1_DblClick(const QModelIndex& clicked)
{
    if (!clicked.isValid())
        return;
    // The selection's other end: the row of the selected range farthest from the current row.
    qsizetype current = clicked.row();
    qsizetype other = current;
    for (const QItemSelectionRange& range : m_gridView->selectionModel()->selection()) {
        if (range.top() <= current && current <= range.bottom())
            other = range.top() == current ? range.bottom() : range.top();
    }
    for (const QString& path : m_grid->pathsToOpen(current, other, clicked.column())) {
        const OpenFailure failure = OpenWithAssociatedApplication(path, m_launcher);
        if (failure != OpenFailure::None)
            m_prompter.message(this, openFailureMessage(failure));
    }
}

void MainWindow::showListContextMenu(const QPoint& globalPos)
{
    // The list's pop-up offers only "削除": the other edit items are hidden while it is open.
    for (QAction* a : {m_kaiseki, m_separator2, m_fopen})
        a->setVisible(false);
    connect(
        m_editMenu, &QMenu::aboutToHide, this,
        [this] {
            for (QAction* a : {m_kaiseki, m_separator2, m_fopen})
                a->setVisible(true);
        },
        Qt::SingleShotConnection);
    m_editMenu->popup(globalPos);
}

void MainWindow::showAbout()
{
    AboutDialog about(this);
    about.exec();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (m_running && isUserInput(event->type()))
        return true; // the run cannot be interrupted: input waits until it ends
    if (watched == m_gridView && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress)
            CopyGridRows();
        event->accept();
        return true;
    }
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

void MainWindow::RunAnalysis()
{
    if (m_running)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();

    clearReport();
    const QStringList paths = m_listModel->entries();
    const qsizetype n = paths.size();
    m_grid->beginRun(n);

    IniDocument settings;
    SettingsStore::loadDocument(m_settings.path(), settings, nullptr);
    EngineTable engines(settings);
    TextReport report([this](const QString& text) { m_report += text; });
    report.runStarted(n);
    m_progress->setRange(0, static_cast<int>(std::max<qsizetype>(n, 1)));

    // The counting runs on other threads; this thread keeps the window painted and shows the
    // results as they come, while user input is held back (installed on the application).
    m_running = true;
    qApp->installEventFilter(this);
    QEventLoop loop;
    RunSummary summary;
    bool finished = false;
    RunBridge* bridgePtr = nullptr;
    auto drain = [&] {
        std::vector<std::pair<qsizetype, FileResult>> batch;
        finished = bridgePtr->take(batch, summary);
        for (const auto& [index, result] : batch) {
            m_grid->WriteResultRow(index, result);
            report.WriteReportLine(result);
        }
        if (!batch.empty()) {
            m_status->show(displayPath(batch.back().second.path) + QStringLiteral("を解析中"));
            m_progress->setValue(static_cast<int>(batch.back().first + 1));
        }
        if (finished)
            loop.quit();
    };
    // Hand-overs are queued to an object of this run, so none can outlive it.
    QObject runContext;
    RunBridge bridge(&runContext, drain);
    bridgePtr = &bridge;
    const AnalysisOptions options{m_kigou->isChecked(), std::max(1, QThread::idealThreadCount())};
    std::thread worker([&] { bridge.finish(tarvik::RunAnalysis(paths, engines, options, bridge)); });
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    drain(); // anything that arrived with the end
    qApp->removeEventFilter(this);
    m_running = false;

    if (!summary.completed()) {
        m_reportBox->setPlainText(m_report);
        QApplication::restoreOverrideCursor();
        m_prompter.message(this, unexpectedErrorMessage(), UserPrompter::Icon::Warning);
        return;
    }
    if (n > 0) {
        report.runFinished(summary);
        m_grid->WriteTotalsRow(n, summary.totalSteps, StatusMessage::todayText(), QLocale::system().decimalPoint());
    }
    m_reportBox->setPlainText(m_report);
    m_status->showTimed(QStringLiteral("%1個のファイルを解析しました").arg(summary.handledFiles));
    m_progress->setValue(0);
    QApplication::restoreOverrideCursor();
}

void MainWindow::SaveLog()
{
    if (m_report.isEmpty()) {
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
        return;
    }
    // The dialog itself asks before replacing an existing file, and starts with no name.
    const QString path = m_prompter.saveFile(this, QStringLiteral("名前を付けて保存"), m_fileDialogDir,
                                             QStringLiteral("ログファイル (*.tvk)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!SaveLogFile(path, m_report, &reason))
        m_prompter.message(this, QStringLiteral("ログファイルを保存できませんでした。\n%1\n%2").arg(path, reason),
                           UserPrompter::Icon::Warning);
}

void MainWindow::SaveCsv()
{
    // Offered whenever the log is: both hold the results of the last run.
    if (m_report.isEmpty()) {
        m_prompter.message(this, QStringLiteral("保存可能データが存在しません"));
        return;
    }
    const QString path = m_prompter.saveFile(this, QStringLiteral("CSV形式で保存"), m_fileDialogDir,
                                             QStringLiteral("CSVファイル (*.csv)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!CsvFormat::SaveCsvFile(path, m_grid->runResults(), &reason))
        m_prompter.message(this, QStringLiteral("CSVファイルを保存できませんでした。\n%1\n%2").arg(path, reason),
                           UserPrompter::Icon::Warning);
}

void MainWindow::CopyGridRows()
{
    QList<qsizetype> rows;
    if (m_gridView->selectionModel()->hasSelection()) {
        for (const QModelIndex& index : m_gridView->selectionModel()->selectedIndexes())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    } else {
        // Every result, but not the totals row: its texts would break the columns' sums.
        for (qsizetype row = 0; row < m_grid->runRowCount(); ++row)
            rows.append(row);
    }
    if (rows.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(m_grid->tabSeparatedText(rows));
}

void MainWindow::PrintResults()
{
    if (m_grid->cellText(0, 0).trimmed().isEmpty()) {
        m_prompter.message(this, QStringLiteral("印刷可能データが存在しません"));
        return;
    }
    QList<PrintLayout::Row> rows;
    for (qsizetype r = 0; r < m_grid->rowCount(); ++r)
        rows.append({m_grid->cellText(r, 0), m_grid->cellText(r, 2), m_grid->cellText(r, 3), m_grid->cellText(r, 4)});
    printWithConsent(this, m_prompter, m_printerSource, m_fileDialogDir, PrintLayout::pages(rows));
}

bool MainWindow::Command4_Click()
{
    if (!m_prompter.askYesNo(this, QStringLiteral("終了しますか？"), false))
        return false;
    // The normal geometry of a maximised window is what is meant by its size here as well.
    const QRect g = geometry();
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Heigh"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.height(), dpiY())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Width"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.width(), dpiX())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Topps"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.y(), dpiY())));
    m_settings.WriteSetting(kDir, QStringLiteral("Disp_Lftps"), WindowGeometry::twipsText(WindowGeometry::toTwips(g.x(), dpiX())));
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    m_settings.WriteSetting(kDir, QStringLiteral("State"), QString::number(state));
    // Closing the last window ends the program.
    m_exiting = true;
    close();
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Every way of closing goes through the confirmation; nothing closes during a run.
    if (m_exiting || (!m_running && Command4_Click())) {
        event->accept();
        return;
    }
    event->ignore();
}

} // namespace tarvik
