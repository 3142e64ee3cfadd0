// The menu bar, the file-type items of the directory-search menu, the list's context menu and
// the settings dialog the menu opens.
#include "app/MainWindow.h"

#include "app/BasicSettingsDialog.h"
#include "app/DialogRunner.h"
#include "app/MainWindowSettings.h"
#include "config/FileTypeEditor.h"
#include "config/FileTypeTable.h"
#include "counting/AnalysisRun.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace tarvik {

namespace {

using namespace form1;

} // namespace

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
    connect(action(file, "Mn_FileSave", QStringLiteral("名前を付けて保存(*.tvk)"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, &MainWindow::SaveLog);
    connect(action(file, "Mn_FilePrint", QStringLiteral("印刷"), QKeySequence(Qt::CTRL | Qt::Key_P)),
            &QAction::triggered, this, &MainWindow::PrintResults);
    // Our own additions come after the usual commands, so those keep their places.
    separator(file, "separatorExtra");
    connect(action(file, "Mn_Diff", QStringLiteral("差分解析"), QKeySequence(Qt::CTRL | Qt::Key_M)), &QAction::triggered,
            this, &MainWindow::CompareVersions);
    // Ctrl+S saves the log; the CSV has the same key here as in the comparison's window.
    connect(action(file, "Mn_CsvSave", QStringLiteral("CSV形式で保存"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, &MainWindow::SaveCsv);
    connect(action(file, "Mn_excel", QStringLiteral("Excel形式で保存")), &QAction::triggered, this,
            &MainWindow::SaveExcel);
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
    // Filled in by buildSummaryPane: the pane's own show/hide item.
    m_summaryItem = m_editMenu->addAction(QStringLiteral("集計"));

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
    // Files a code generator wrote: one choice of three, stored at once like the toggles above.
    QMenu* generated = set->addMenu(QStringLiteral("生成ファイル"));
    generated->setObjectName(QStringLiteral("Mn_Gen"));
    auto* generatedChoice = new QActionGroup(generated);
    const QString captions[] = {QStringLiteral("他のファイルと同じく数える"), QStringLiteral("解析結果から除く"),
                                QStringLiteral("総実行数に含めず別に示す")};
    for (int i = 0; i < 3; ++i) {
        QAction* item = action(generated, QStringLiteral("Mn_Gen_%1").arg(i).toLatin1().constData(), captions[i]);
        item->setCheckable(true);
        generatedChoice->addAction(item);
        connect(item, &QAction::triggered, this, [this, i] {
            m_settings.WriteSetting(kMode, QStringLiteral("Gen_Mode"), QString::number(i));
        });
        m_generatedItems << item;
    }
    separator(set, "separator4");
    connect(action(set, "Mn_Kihon", QStringLiteral("基本設定")), &QAction::triggered, this, &MainWindow::Mn_Kihon_Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ(&H)"));
    help->setObjectName(QStringLiteral("Mn_Help"));
    connect(action(help, "Mn_Version", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報")), &QAction::triggered, this,
            &MainWindow::showAbout);
}

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

GeneratedFiles MainWindow::generatedFiles() const
{
    if (m_generatedItems.value(1)->isChecked())
        return GeneratedFiles::Skip;
    if (m_generatedItems.value(2)->isChecked())
        return GeneratedFiles::Separate;
    return GeneratedFiles::Count;
}

void MainWindow::toggleFileType(QAction* item)
{
    // The entry keeps its engine and source kind; only the search flag changes.
    const QString key = QStringLiteral("Lang_") + item->text();
    const QString entry = m_settings.read(QStringLiteral("Engin"), key);
    m_settings.WriteSetting(QStringLiteral("Engin"), key, FileTypeEditor::withSearchFlag(entry, item->isChecked()));
}

void MainWindow::showListContextMenu(const QPoint& globalPos)
{
    // The list's pop-up offers only "削除": the other edit items are hidden while it is open.
    for (QAction* a : {m_kaiseki, m_separator2, m_fopen, m_summaryItem})
        a->setVisible(false);
    connect(
        m_editMenu, &QMenu::aboutToHide, this,
        [this] {
            for (QAction* a : {m_kaiseki, m_separator2, m_fopen, m_summaryItem})
                a->setVisible(true);
        },
        Qt::SingleShotConnection);
    m_editMenu->popup(globalPos);
}

void MainWindow::Mn_Kihon_Click()
{
    BasicSettingsDialog form2(m_settings, m_prompter, *m_dialogs,
                              {[this] { BuildFileTypeMenu(); }, [this](const QString& dir) { setFileDialogDirectory(dir); },
                               [this] { followCategorySettings(); }},
                              this);
    m_dialogs->run(form2);
}

} // namespace tarvik
