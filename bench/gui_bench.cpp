// Drives the real main window (offscreen by default) through its own commands and prints how long
// each took, so that bench/window-bench.sh can compare them with find and tarvik-count.
//
//   gui_bench [options]
//     --settings INI      settings file; a private copy is used, the file itself is never changed
//                         (default: Tarvik.ini beside this program)
//     --tree DIR          register DIR through the directory command (ローカルディレクトリを開く)
//     --again             then run the directory command on the same DIR(s) a second time
//     --repeat N          make that second (all duplicates) registration N times, report the best
//     --breakdown         also time the parts of a registration of the --tree DIR(s) on their own:
//                         the directory walk, and adding its paths to a fresh list model, new
//                         and again (all duplicates)
//     --files-from LIST   register the paths in LIST (one per line) straight into the list
//     --limit N           take only the first N paths of LIST
//     --dump-list FILE    write the registered list, one path per line (for tarvik-count)
//     --run               run the analysis (F5) over the list
//     --save FILE         save the log (名前を付けて保存) to FILE
//     --csv FILE          save the grid as CSV (CSV形式で保存) to FILE
//     --pdf FILE          print (印刷) to FILE as PDF
//     --no-show           do not show the window (list view and grid are then not painted)
//
// Output: one "name value" line per figure, e.g. "register1.seconds 0.412". Timings include
// handing the window back to its event loop and painting it, as a user would see it.
#include "app/AnalysisListModel.h"
#include "app/MainWindow.h"
#include "app/UserPrompter.h"
#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"
#include "intake/DirectoryWalk.h"
#include "intake/FileOpener.h"
#include "output/ResultGridModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProgressBar>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace tarvik;

namespace {

// Answers every question of the window at once: folders and file names from queues, OK and Yes
// to every question. Messages are echoed on standard error, since none is expected.
class AnsweringPrompter : public UserPrompter {
public:
    std::deque<QString> folders;
    std::deque<QString> saveNames;
    int messages = 0;

    void message(QWidget*, const QString& text, Icon) override
    {
        ++messages;
        std::cerr << "gui_bench: message: " << text.toStdString() << "\n";
    }
    bool askYesNo(QWidget*, const QString&, bool) override { return true; }
    bool askOkCancel(QWidget*, const QString&) override { return true; }
    QStringList openFiles(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return next(folders); }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override { return next(saveNames); }

private:
    static QString next(std::deque<QString>& queue)
    {
        if (queue.empty())
            return {};
        QString answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

class IdleLauncher : public ApplicationLauncher {
public:
    QString defaultApplication(const QString&) override { return {}; }
    bool launch(const QString&, Finished) override { return false; }
};

long currentRssKb();

// getrusage's figure lags behind a little; the kernel's high-water mark and the current size
// bound it from below too.
long peakRssKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    long peak = usage.ru_maxrss; // kilobytes on Linux
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long hwm = 0;
            status >> hwm;
            peak = std::max(peak, hwm);
            break;
        }
    }
    return std::max(peak, currentRssKb());
}

long currentRssKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

void figure(const std::string& name, const std::string& value)
{
    std::cout << name << ' ' << value << '\n' << std::flush;
}

void figure(const std::string& name, double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", seconds);
    figure(name, std::string(text));
}

void figure(const std::string& name, long long value) { figure(name, std::to_string(value)); }

void memoryFigures(const std::string& phase)
{
    figure(phase + ".rss_kb", static_cast<long long>(currentRssKb()));
    figure(phase + ".peak_rss_kb", static_cast<long long>(peakRssKb()));
}

// Lets the window do what it queued (layouts of the views, status texts) and paints it now.
void settle(MainWindow& window, bool shown)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (shown)
        window.repaint();
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void usage(const char* why)
{
    std::cerr << "gui_bench: " << why << "\n"
              << "usage: gui_bench [--settings INI] [--tree DIR]... [--again] [--repeat N] [--breakdown]\n"
                 "                 [--files-from LIST] [--limit N]\n"
                 "                 [--dump-list FILE] [--run] [--save FILE] [--pdf FILE] [--no-show]\n";
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString settings = QCoreApplication::applicationDirPath() + QStringLiteral("/Tarvik.ini");
    QStringList trees;
    bool again = false;
    int repeat = 1;
    bool breakdown = false;
    QString filesFrom;
    qsizetype limit = -1;
    QString dumpList;
    bool run = false;
    QString savePath;
    QString csvPath;
    QString pdfPath;
    bool show = true;

    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                usage("missing value after an option");
            return args[++i];
        };
        if (a == u"--settings")
            settings = value();
        else if (a == u"--tree")
            trees << QFileInfo(value()).absoluteFilePath();
        else if (a == u"--again")
            again = true;
        else if (a == u"--repeat")
            repeat = std::max(1, value().toInt());
        else if (a == u"--breakdown")
            breakdown = true;
        else if (a == u"--files-from")
            filesFrom = value();
        else if (a == u"--limit")
            limit = value().toLongLong();
        else if (a == u"--dump-list")
            dumpList = value();
        else if (a == u"--run")
            run = true;
        else if (a == u"--save")
            savePath = QFileInfo(value()).absoluteFilePath();
        else if (a == u"--csv")
            csvPath = QFileInfo(value()).absoluteFilePath();
        else if (a == u"--pdf")
            pdfPath = QFileInfo(value()).absoluteFilePath();
        else if (a == u"--no-show")
            show = false;
        else
            usage("unknown option");
    }

    // The window stores some settings as they change: it gets a copy, never the original.
    QTemporaryDir scratch;
    const QString ini = scratch.filePath(QStringLiteral("Tarvik.ini"));
    if (!QFile::copy(settings, ini)) {
        std::cerr << "gui_bench: cannot read settings " << settings.toStdString() << "\n";
        return 2;
    }

    AnsweringPrompter prompter;
    IdleLauncher launcher;
    MainWindow window(ini, prompter, launcher);
    if (show)
        window.show();
    settle(window, show);
    figure("platform", QGuiApplication::platformName().toStdString());
    memoryFigures("start");

    auto registerTrees = [&](const char* phase, int times) {
        double best = 0;
        qsizetype before = 0;
        for (int k = 0; k < times; ++k) {
            for (const QString& t : trees)
                prompter.folders.push_back(t);
            before = window.analysisList()->entries().size();
            const auto t0 = std::chrono::steady_clock::now();
            window.OpenLocalDirectory();
            settle(window, show);
            const double s = secondsSince(t0);
            best = k == 0 ? s : std::min(best, s);
        }
        figure(std::string(phase) + ".seconds", best);
        figure(std::string(phase) + ".added",
               static_cast<long long>(window.analysisList()->entries().size() - before));
        figure(std::string(phase) + ".listed", static_cast<long long>(window.analysisList()->rowCount()));
        memoryFigures(phase);
    };
    if (!trees.isEmpty()) {
        registerTrees("register1", 1);
        if (again)
            registerTrees("register2", repeat);
    }

    if (breakdown && !trees.isEmpty()) {
        // The same walk and list rule the directory command uses, each timed on its own.
        IniDocument doc;
        SettingsStore::loadDocument(ini, doc, nullptr);
        const DirectoryWalk walk(FileTypeTable::fromDocument(doc).searchedExtensions(), true);
        QStringList found;
        auto t0 = std::chrono::steady_clock::now();
        for (const QString& t : trees)
            walk.walk(t, [&](const QString& path) { found << path; });
        figure("breakdown.walk_seconds", secondsSince(t0));
        figure("breakdown.walk_files", static_cast<long long>(found.size()));
        // A second walk gives paths with their own string data, as a second directory command
        // would: equal strings that share data compare faster than a real repetition does.
        QStringList foundAgain;
        for (const QString& t : trees)
            walk.walk(t, [&](const QString& path) { foundAgain << path; });
        AnalysisListModel model;
        t0 = std::chrono::steady_clock::now();
        model.registerPaths(found);
        figure("breakdown.add_new_seconds", secondsSince(t0));
        t0 = std::chrono::steady_clock::now();
        model.registerPaths(foundAgain);
        figure("breakdown.add_again_seconds", secondsSince(t0));
    }

    if (!filesFrom.isEmpty()) {
        QFile list(filesFrom);
        if (!list.open(QIODevice::ReadOnly)) {
            std::cerr << "gui_bench: cannot read " << filesFrom.toStdString() << "\n";
            return 2;
        }
        QStringList paths;
        while (!list.atEnd() && (limit < 0 || paths.size() < limit)) {
            QByteArray line = list.readLine();
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            if (!line.isEmpty())
                paths << QFile::decodeName(line);
        }
        const auto t0 = std::chrono::steady_clock::now();
        const qsizetype added = window.analysisList()->registerPaths(paths);
        settle(window, show);
        figure("register_list.seconds", secondsSince(t0));
        figure("register_list.added", static_cast<long long>(added));
        memoryFigures("register_list");
    }

    if (!dumpList.isEmpty()) {
        QSaveFile out(dumpList);
        if (!out.open(QIODevice::WriteOnly)) {
            std::cerr << "gui_bench: cannot write " << dumpList.toStdString() << "\n";
            return 2;
        }
        for (const QString& p : window.analysisList()->entries())
            out.write(QFile::encodeName(p) + '\n');
        out.commit();
    }

    if (run) {
        const auto t0 = std::chrono::steady_clock::now();
        window.RunAnalysis();
        settle(window, show);
        figure("run.seconds", secondsSince(t0));
        figure("run.grid_rows", static_cast<long long>(window.resultGrid()->rowCount()));
        figure("run.report_chars", static_cast<long long>(window.reportText().size()));
        figure("run.totals", window.resultGrid()
                                 ->cellText(window.resultGrid()->rowCount() - 1, 2)
                                 .simplified()
                                 .toStdString());
        if (auto* bar = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar1")))
            figure("run.progress_max", static_cast<long long>(bar->maximum()));
        memoryFigures("run");
    }

    if (!savePath.isEmpty()) {
        prompter.saveNames.push_back(savePath);
        const auto t0 = std::chrono::steady_clock::now();
        window.SaveLog();
        settle(window, show);
        figure("save.seconds", secondsSince(t0));
        figure("save.bytes", static_cast<long long>(QFileInfo(savePath).size()));
        memoryFigures("save");
    }

    if (!csvPath.isEmpty()) {
        prompter.saveNames.push_back(csvPath);
        const auto t0 = std::chrono::steady_clock::now();
        window.SaveCsv();
        settle(window, show);
        figure("csv.seconds", secondsSince(t0));
        figure("csv.bytes", static_cast<long long>(QFileInfo(csvPath).size()));
        memoryFigures("csv");
    }

    if (!pdfPath.isEmpty()) {
        window.setPrinterSource([&] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdfPath);
            return printer;
        });
        const auto t0 = std::chrono::steady_clock::now();
        window.PrintResults();
        settle(window, show);
        figure("print.seconds", secondsSince(t0));
        figure("print.rows", static_cast<long long>(window.resultGrid()->rowCount()));
        figure("print.bytes", static_cast<long long>(QFileInfo(pdfPath).size()));
        memoryFigures("print");
    }

    figure("messages", static_cast<long long>(prompter.messages));
    memoryFigures("end");
    return 0;
}
