#pragma once

#include "app/RememberingPrompter.h"
#include "app/WindowGeometry.h"
#include "config/SettingsStore.h"
#include "config/FileTypeTable.h"
#include "counting/AnalysisRun.h"
#include "intake/UnregisteredFiles.h"
#include "output/FigureTable.h"
#include "ftp/FtpSession.h"

#include <QHash>
#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolBar;

namespace tarvik {

class AnalysisListModel;
class FolderRoots;
class WalkFilter;
class DialogRunner;
class ApplicationLauncher;
class ResultGridModel;
class ResultGridProxy;
class StatusMessage;
class SummaryPane;
struct SkippedDirectory;
class UserPrompter;

// The main window Form1: the analysis list, the result grid and the commands around them.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(const QString& settingsPath, UserPrompter& prompter, ApplicationLauncher& launcher,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows the window in the state restored at start-up (normal or maximised).
    void showRestored();

    // Commands, each with one implementation whatever starts it.
    void OpenLocalFiles();
    void OpenLocalDirectory();
    void RunAnalysis();
    void Command2_Click(); // removes the selected entries
    bool Command4_Click(); // the exit request; true when the user confirmed
    void openSelectedEntries();
    void List1_OLEDragDrop(const QMimeData* data);
    // `clicked`: an index of the grid's view, or of resultGrid() (taken where the view shows it).
    void MSFlexGrid1_DblClick(const QModelIndex& clicked);
    void BuildFileTypeMenu();
    void showAbout();
    void SaveLog();
    void SaveCsv(); // the grid's results as a CSV file for spreadsheets
    void SaveExcel(); // the same rows as a workbook, with the totals row
    // Ctrl+C on the grid: the selected rows, or every result of the run, as tab-separated text.
    void CopyGridRows();
    void PrintResults();
    void Mn_Kihon_Click(); // the basic settings dialog
    void OpenServerDialog();
    void CompareVersions(); // two folders chosen in a dialog; the result opens in its own window
    // The paths of the command line, registered as if dropped; folders by the folder search.
    void registerStartPaths(const QStringList& paths);
    // Where files fetched from servers are put (a folder per host); the program's folder.
    void setDownloadRoot(const QString& dir) { m_downloadRoot = dir; }
    // How long the remote browser waits on a server; the program keeps the defaults.
    void setFtpTimeouts(const FtpTimeouts& timeouts) { m_ftpTimeouts = timeouts; }

    // Shows the program's own dialogs (tests answer them instead).
    void setDialogRunner(DialogRunner& runner) { m_dialogs = &runner; }
    // Called on the worker thread as each file of a run or a comparison is handed over, with the
    // number handed over so far: tests act there at a known point of the work.
    using WorkObserver = std::function<void(qsizetype handedOver)>;
    void setWorkObserver(WorkObserver observer) { m_workObserver = std::move(observer); }

    // Where printing goes: the system's default printer, or nullptr when there is none.
    using PrinterSource = std::function<std::unique_ptr<QPrinter>()>;
    void setPrinterSource(PrinterSource source) { m_printerSource = std::move(source); }

    // The text report of the last run, CR LF line ends, exactly as written.
    const QString& reportText() const { return m_report; }
    AnalysisListModel* analysisList() const { return m_listModel; }
    ResultGridModel* resultGrid() const { return m_grid; }
    StatusMessage* statusMessage() const { return m_status; }
    UserPrompter& prompter() const { return m_prompter; }
    SettingsStore& settings() { return m_settings; }
    bool symbolLinesCounted() const;
    QString fileDialogDirectory() const { return m_fileDialogDir; }
    // With per-user settings (an installed program) the file dialogs start at home and each kind
    // remembers its folder; settings beside the program keep the program's folder.
    void setPerUserSettings(bool perUser) { m_remembering.setRemembering(perUser); }
    // Where a dialog of a kind not yet used opens: the first registered file's folder, else the
    // folder the program was started from (unless that is "/" or the program's own), else home.
    QString firstDialogFolder() const;
    void setFileDialogDirectory(const QString& dir);
    QMenu* editMenu() const { return m_editMenu; }
    SummaryPane* summaryPane() const { return m_summary; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildControls();
    void buildSummaryPane();
    // The 集計 pane's tables from the last run, when the pane is shown.
    void refreshSummary();
    // Until a run shows figures, the pane's category tab follows the settings file.
    void followCategorySettings();
    // Keeps the pane's place in the settings file for the next start.
    void saveSummaryLayout();
    // The last run's subtotals by file type and by folder, as the pane and the workbook show them.
    // The folders the last run's files were found in, which subtotals by folder and category start from.
    FolderRoots lastRoots() const;
    std::pair<FigureTable, FigureTable> subtotalTables(int folderDepth) const;
    // The last run's subtotals by category; none when the settings file defines no categories.
    std::optional<FigureTable> categoryTable() const;
    // Files a folder search found remember the folder, which their folder subtotals start from.
    void rememberFolderRoot(const QString& root, const QStringList& found);
    void Form_Load();
    void Form_Resize();
    void fitRestoredFrame();
    void Toolbar1_ButtonClick(const QString& key);
    void showListContextMenu(const QPoint& globalPos);
    void toggleFileType(QAction* item);
    void openWithApplication(const QString& path);
    void clearReport();
    // Holds back user input (all but a request to stop) and shows the 中止 button while the
    // counting runs on other threads.
    void setRunning(bool running);
    void cancelRun();
    bool reachesCancelButton(QObject* watched, QEvent* event) const;
    bool hasResultsToSave(); // says so when there are none
    QStringList searchedExtensions() const;
    // After a folder search: the files it passed over, in the status bar and the 集計 pane.
    void showUnregistered(const UnregisteredFiles& files, const QString& status);
    // Opens the file-type editor for a kind the search passed over (".json" or "Makefile").
    void registerKind(const QString& kind);
    // The checked extensions, and the names and interpreters the settings file has searches take.
    SearchedTypes searchedTypes() const;
    // What the folder searches leave out, as 基本設定 keeps it; null when nothing.
    std::function<std::unique_ptr<WalkFilter>(const std::string&)> excludeFilter() const;
    QStringList excludePatterns() const;
    GeneratedFiles generatedFiles() const;
    void reportSkippedDirectories(const QList<SkippedDirectory>& skipped);
    // The result grid's view (MainWindowGrid): the bar above it, sorting, filtering, the widths.
    void buildGridBar(QWidget* central);
    void gridRunBegun();
    // After a completed run: the generated files' total, and the totals row in view.
    void showRunEndInGrid(const RunSummary& summary, GeneratedFiles generated);
    void sortGridBy(int column);
    void fitPathColumn();
    // The grid's rows behind view rows, in the order given.
    QList<qsizetype> gridRows(const QList<int>& viewRows) const;
    double dpiX() const;
    double dpiY() const;
    int px(double twips) const;
    int pxY(double twips) const;

    SettingsStore m_settings;
    QString m_startFolder; // the folder the program was started from
    RememberingPrompter m_remembering;
    UserPrompter& m_prompter;
    ApplicationLauncher& m_launcher;
    WindowGeometry m_startGeometry;
    std::optional<QRect> m_restoredFrame; // the outer rectangle to restore once the frame is known
    QString m_fileDialogDir;
    QString m_downloadRoot;
    FtpTimeouts m_ftpTimeouts;
    QString m_report;
    PrinterSource m_printerSource;
    std::unique_ptr<DialogRunner> m_modalRunner;
    DialogRunner* m_dialogs = nullptr;
    bool m_running = false;
    std::atomic<bool> m_cancelRequested{false}; // Esc or 中止 during a run; read by its workers
    WorkObserver m_workObserver;
    bool m_runFailed = false; // the last run ended in an error: its half of a result is not saved
    bool m_exiting = false;

    QToolBar* m_toolbar = nullptr;
    QFrame* m_line1[2] = {};
    QFrame* m_line2[2] = {};
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    QListView* m_list = nullptr;
    AnalysisListModel* m_listModel = nullptr;
    QTableView* m_gridView = nullptr;
    ResultGridModel* m_grid = nullptr;
    ResultGridProxy* m_gridProxy = nullptr;
    QWidget* m_gridBar = nullptr;
    QLineEdit* m_filterBox = nullptr;
    QLabel* m_generatedLegend = nullptr;
    QLabel* m_generatedTotal = nullptr;
    bool m_gridScrolledInRun = false; // the user moved the grid while a run filled it
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr; // 中止, beside the progress bar during a run
    QPlainTextEdit* m_reportBox = nullptr;
    StatusMessage* m_status = nullptr;

    QMenu* m_editMenu = nullptr;
    QMenu* m_searchMenu = nullptr;
    QAction* m_kaiseki = nullptr;
    QAction* m_separator2 = nullptr;
    QAction* m_fopen = nullptr;
    QAction* m_kigou = nullptr;
    QAction* m_searchSubdirs = nullptr;
    QList<QAction*> m_fileTypeItems;
    QList<QAction*> m_generatedItems; // count, skip, separate
    QAction* m_summaryItem = nullptr;

    SummaryPane* m_summary = nullptr;
    // What the last completed run gives the subtotals.
    std::vector<FileResult> m_lastResults;
    IniDocument m_lastSettings;
    GeneratedFiles m_lastGenerated = GeneratedFiles::Count;
    QHash<QString, QString> m_folderRoots; // a path found by a folder search -> that folder
};

} // namespace tarvik
