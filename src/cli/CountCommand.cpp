#include "cli/CountCommand.h"

#include "cli/DiffFormats.h"
#include "cli/OutputFormats.h"
#include "cli/SummaryOutput.h"
#include "config/AtomicFile.h"
#include "config/ExcludeSettings.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "config/SettingsStore.h"
#include "counting/AnalysisRun.h"
#include "git/GitRevision.h"
#include "intake/AnalysisList.h"
#include "intake/DirectoryWalk.h"
#include "output/CsvFormat.h"
#include "output/Workbook.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <chrono>
#include <fstream>
#include <ostream>
#include <sys/stat.h>

namespace tarvik {

namespace {

constexpr int kFailed = 1; // the run ended with the unexpected error, or the output could not be written
constexpr int kBadArguments = 2;

std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }

bool parseOnOff(const QString& text, bool& value)
{
    if (text == u"on")
        value = true;
    else if (text == u"off")
        value = false;
    else
        return false;
    return true;
}

// A progress bar on standard error, drawn at most ten times a second.
class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}
    void start(qsizetype total) { m_total = total; }
    void done(qsizetype i)
    {
        if (!m_enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100) && i + 1 < m_total)
            return;
        m_last = now;
        constexpr int width = 40;
        int filled = m_total > 0 ? static_cast<int>((i + 1) * width / m_total) : width;
        m_err << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
              << "] " << (i + 1) << '/' << m_total << std::flush;
        m_drawn = true;
    }
    void clear()
    {
        if (m_drawn)
            m_err << "\r" << std::string(70, ' ') << "\r" << std::flush;
        m_drawn = false;
    }

private:
    std::ostream& m_err;
    bool m_enabled;
    qsizetype m_total = 0;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
};

// Forwards results and moves the bar.
class ProgressSink : public ResultSink {
public:
    ProgressSink(ResultSink& inner, ProgressBar& bar) : m_inner(inner), m_bar(bar) {}
    void runStarted(qsizetype n) override
    {
        m_bar.start(n);
        m_inner.runStarted(n);
    }
    void fileAnalysed(qsizetype i, const FileResult& r) override
    {
        m_inner.fileAnalysed(i, r);
        m_bar.done(i);
    }
    void runFinished(const RunSummary& s) override { m_inner.runFinished(s); }

private:
    ResultSink& m_inner;
    ProgressBar& m_bar;
};

// The same for the pairs of a comparison.
class DiffProgressSink : public DiffSink {
public:
    DiffProgressSink(DiffSink& inner, ProgressBar& bar) : m_inner(inner), m_bar(bar) {}
    void diffStarted(qsizetype n) override
    {
        m_bar.start(n);
        m_inner.diffStarted(n);
    }
    void fileCompared(qsizetype i, const FileChange& c) override
    {
        m_inner.fileCompared(i, c);
        m_bar.done(i);
    }
    void diffFinished(const DiffSummary& s) override { m_inner.diffFinished(s); }

private:
    DiffSink& m_inner;
    ProgressBar& m_bar;
};

} // namespace

CountCommand::CountCommand(Environment env) : m_env(std::move(env)) {}

int CountCommand::execute(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Counts executable steps, comment lines and total lines of source files."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption settingsOpt({QStringLiteral("s"), QStringLiteral("settings")},
                                         QStringLiteral("Settings file (default: Tarvik.ini beside the program, "
                                                        "else ~/.config/tarvik/Tarvik.ini)."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption symbolOpt(QStringLiteral("symbol-lines"),
                                       QStringLiteral("Count lines of symbols only (default: Count_Mode)."),
                                       QStringLiteral("on|off"));
    const QCommandLineOption subdirsOpt(QStringLiteral("subdirs"),
                                        QStringLiteral("Search subdirectories of a directory PATH (default: Serch_Mode)."),
                                        QStringLiteral("on|off"));
    const QCommandLineOption formatOpt({QStringLiteral("f"), QStringLiteral("format")},
                                       QStringLiteral("Output format: report (as a saved .tvk log), csv, json or xlsx "
                                                      "(a workbook; needs -o FILE)."),
                                       QStringLiteral("report|csv|json|xlsx"), QStringLiteral("report"));
    const QCommandLineOption jobsOpt({QStringLiteral("j"), QStringLiteral("jobs")},
                                     QStringLiteral("Files counted at once (default: all cores; at most 4 per core)."),
                                     QStringLiteral("N"));
    const QCommandLineOption outputOpt({QStringLiteral("o"), QStringLiteral("output")},
                                       QStringLiteral("Write to FILE instead of standard output."), QStringLiteral("FILE"));
    const QCommandLineOption filesFromOpt(QStringLiteral("files-from"),
                                          QStringLiteral("Also take the paths listed in FILE, one per line."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption diffOpt(QStringLiteral("diff"),
                                     QStringLiteral("Compare two versions: the two PATHs are the OLD and the NEW folder; "
                                                    "prints added, changed and deleted steps and the modification size."));
    const QCommandLineOption repoOpt(QStringLiteral("repo"),
                                     QStringLiteral("Read the files of a git repository's revisions instead of the disk "
                                                    "(with --rev, or --diff OLD NEW); PATHs limit them to folders or files "
                                                    "of the repository."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption revOpt(QStringLiteral("rev"), QStringLiteral("The revision of --repo to count (tag, branch, commit)."),
                                    QStringLiteral("REV"));
    const QCommandLineOption excludeOpt(QStringLiteral("exclude"),
                                        QStringLiteral("Leave out paths matching PATTERN (.gitignore style, relative to each "
                                                       "folder PATH; repeatable; after the settings file's "
                                                       "[Exclude] patterns)."),
                                        QStringLiteral("PATTERN"));
    const QCommandLineOption gitignoreOpt(QStringLiteral("gitignore"),
                                          QStringLiteral("Leave out what the .gitignore files of the walked folders leave out."));
    const QCommandLineOption generatedOpt(QStringLiteral("generated"),
                                          QStringLiteral("Files whose first lines carry a code generator's mark: counted as "
                                                         "usual (count, the default), left out (skip), or listed but kept "
                                                         "out of the totals (separate); default: Gen_Mode."),
                                          QStringLiteral("count|skip|separate"));
    const QCommandLineOption summaryOpt(QStringLiteral("summary"),
                                        QStringLiteral("Subtotals by file type (type) or by folder DEPTH levels below each "
                                                       "PATH (dir, dir:DEPTH; dir is dir:1), after the report, in the JSON's "
                                                       "\"summaries\", or as the CSV instead of the files' rows, with the "
                                                       "columns kind,engine (or folder),files,executable,comment,total (with "
                                                       "--diff: added,changed,deleted,modified),kstep,row; or the files the "
                                                       "folder searches passed over because their type is not registered or "
                                                       "not searched (unregistered), with the columns kind,files,bytes,row. "
                                                       "Repeatable; in a CSV each table then starts with its title, after an "
                                                       "empty line."),
                                        QStringLiteral("type|dir[:DEPTH]|unregistered"));
    const QCommandLineOption bomOpt(QStringLiteral("bom"),
                                    QStringLiteral("With -f csv: begin with a UTF-8 byte order mark, for spreadsheet programs."));
    const QCommandLineOption dateOpt(QStringLiteral("date"),
                                     QStringLiteral("The report's date instead of today's, so a report can be made again "
                                                    "byte for byte."),
                                     QStringLiteral("YYYY-MM-DD"));
    parser.addOptions({help, version, settingsOpt, symbolOpt, subdirsOpt, formatOpt, jobsOpt, outputOpt, filesFromOpt, diffOpt,
                       repoOpt, revOpt, excludeOpt, gitignoreOpt, generatedOpt, summaryOpt, bomOpt, dateOpt});
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("A file to count, or a directory whose registered file types are counted."),
                                 QStringLiteral("PATH..."));

    auto usageError = [&](const QString& message) {
        err << "tarvik-count: " << message << "\n"
            << "Try 'tarvik-count --help'.\n";
        return kBadArguments;
    };

    if (!parser.parse(QStringList{QStringLiteral("tarvik-count")} + args))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText()
            << "\nExit status: 0 when the run completed (missing or unknown files are results),\n"
               "1 when it ended with an unexpected error or the output could not be written,\n"
               "2 for bad arguments or an unreadable settings file.\n";
        return 0;
    }
    if (parser.isSet(version)) {
        out << "tarvik-count " << TARVIK_VERSION << "\n";
        return 0;
    }

    FormatWriter::Format format;
    if (!FormatWriter::parseFormat(parser.value(formatOpt), format))
        return usageError(QStringLiteral("unknown format '%1' (use report, csv, json or xlsx)").arg(parser.value(formatOpt)));
    const bool workbook = format == FormatWriter::Format::Xlsx;
    if (workbook && (!parser.isSet(outputOpt) || parser.value(outputOpt) == u"-")) {
        err << "tarvik-count: -f xlsx writes a workbook file: name it with -o FILE\n";
        return kBadArguments;
    }
    int jobs = m_env.cores;
    if (parser.isSet(jobsOpt)) {
        bool ok = false;
        jobs = parser.value(jobsOpt).toInt(&ok);
        if (!ok || jobs < 1)
            return usageError(QStringLiteral("--jobs needs a whole number of at least 1"));
    }
    GeneratedFiles generated = GeneratedFiles::Count;
    if (const QString g = parser.value(generatedOpt); g == u"skip")
        generated = GeneratedFiles::Skip;
    else if (g == u"separate")
        generated = GeneratedFiles::Separate;
    else if (g != u"count" && parser.isSet(generatedOpt))
        return usageError(QStringLiteral("--generated takes count, skip or separate"));
    bool generatedChosen = parser.isSet(generatedOpt);
    std::vector<std::optional<SubtotalGrouping>> groupings; // none: the files passed over
    for (const QString& value : parser.values(summaryOpt)) {
        SubtotalGrouping grouping;
        if (value == u"unregistered") {
            groupings.push_back(std::nullopt);
            continue;
        }
        if (!SubtotalGrouping::parse(value, grouping))
            return usageError(
                QStringLiteral("--summary takes type, dir, dir:DEPTH (DEPTH at least 1) or unregistered, not '%1'").arg(value));
        groupings.push_back(grouping);
    }
    // A workbook is what is handed on: it holds both groupings unless others were asked for.
    if (workbook && groupings.empty())
        groupings = {SubtotalGrouping{SubtotalGrouping::By::Type, 1}, SubtotalGrouping{SubtotalGrouping::By::Folder, 1}};
    if (parser.isSet(bomOpt) && format != FormatWriter::Format::Csv)
        return usageError(QStringLiteral("--bom is for -f csv"));
    // The mark is for spreadsheet programs, which would run a name like "=…" as a formula.
    const auto csvReader = parser.isSet(bomOpt) ? CsvFormat::Reader::Spreadsheet : CsvFormat::Reader::Program;
    QString reportDate; // null: today's
    if (parser.isSet(dateOpt)) {
        // Only the one form, so that a date never means two days.
        static const QRegularExpression isoDay(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
        const QString text = parser.value(dateOpt);
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!isoDay.match(text).hasMatch() || !date.isValid()) {
            err << "tarvik-count: --date takes a day as YYYY-MM-DD, not '" << text << "'\n";
            return kBadArguments;
        }
        reportDate = QLocale::system().toString(date, QLocale::ShortFormat);
    }
    const QStringList positional = parser.positionalArguments();
    const bool diff = parser.isSet(diffOpt);
    const bool repository = parser.isSet(repoOpt);
    if (repository) {
        if (parser.isSet(filesFromOpt))
            return usageError(QStringLiteral("--files-from cannot be used with --repo"));
        if (diff == parser.isSet(revOpt))
            return usageError(QStringLiteral("--repo needs either --rev REV or --diff OLD NEW"));
        if (diff && positional.size() < 2)
            return usageError(QStringLiteral("--repo --diff takes two revisions, OLD and NEW"));
    } else {
        if (parser.isSet(revOpt))
            return usageError(QStringLiteral("--rev needs --repo DIR"));
        if (positional.isEmpty() && !parser.isSet(filesFromOpt))
            return usageError(QStringLiteral("no PATH given"));
        if (diff && (positional.size() != 2 || parser.isSet(filesFromOpt)))
            return usageError(QStringLiteral("--diff takes exactly two folders, OLD and NEW"));
    }
    Exclusions exclusions{parser.values(excludeOpt), parser.isSet(gitignoreOpt)};
    for (const QString& pattern : exclusions.patterns) {
        if (!PathPatterns::valid(pathToNative(pattern)))
            return usageError(QStringLiteral("--exclude '%1' matches nothing").arg(pattern));
    }

    // A missing settings file would make every file unknown: refuse it rather than miscount.
    const QString settingsPath = parser.isSet(settingsOpt) ? parser.value(settingsOpt)
                                 : m_findSettings        ? m_findSettings()
                                                         : m_env.defaultSettingsPath;
    IniDocument settings;
    QString reason;
    if (!SettingsStore::loadDocument(settingsPath, settings, &reason)) {
        err << "tarvik-count: cannot read settings file " << settingsPath << ": " << reason << "\n";
        return kBadArguments;
    }

    bool countSymbolLines = SettingsStore::profileValue(settings, QStringLiteral("Mode"), QStringLiteral("Count_Mode")) != u"0";
    bool subdirs = SettingsStore::profileValue(settings, QStringLiteral("Mode"), QStringLiteral("Serch_Mode")) != u"0";
    if (parser.isSet(symbolOpt) && !parseOnOff(parser.value(symbolOpt), countSymbolLines))
        return usageError(QStringLiteral("--symbol-lines takes on or off"));
    if (parser.isSet(subdirsOpt) && !parseOnOff(parser.value(subdirsOpt), subdirs))
        return usageError(QStringLiteral("--subdirs takes on or off"));
    // The window's choice for generated files, in the same order as its menu; older files lack it.
    if (!generatedChosen) {
        const int mode = SettingsStore::profileValue(settings, QStringLiteral("Mode"), QStringLiteral("Gen_Mode")).toInt();
        if (mode == 1 || mode == 2) {
            generated = mode == 1 ? GeneratedFiles::Skip : GeneratedFiles::Separate;
            generatedChosen = true;
        }
    }
    // The window's exclusion patterns apply to every folder search; those given here come
    // after them, so they have the last word ("!name" takes one back).
    exclusions.patterns = readExcludePatterns(settings) + exclusions.patterns;

    auto reportSkipped = [&](const SkippedDirectory& skipped) {
        err << "tarvik-count: skipped " << (skipped.file ? "file " : "directory ") << skipped.path << ": "
            << skipped.reason << "\n";
    };
    auto absolute = [&](const QString& path) {
        return QDir::cleanPath(path.startsWith(u'/') ? path : m_env.currentDirectory + u'/' + path);
    };

    const DirectoryWalk::FilterFactory walkFilter = [exclusions](const std::string& root) {
        return makeWalkFilter(root, exclusions);
    };
    const SearchedTypes searched = FileTypeTable::fromDocument(settings).searchedTypes();
    // What the folder searches passed over: said on standard error, and in JSON and summaries.
    UnregisteredFiles unregistered;
    auto reportUnregistered = [&] {
        if (!unregistered.empty())
            err << "tarvik-count: " << unregisteredLine(unregistered) << "\n";
    };
    auto addSummaries = [&](SummarySet& summaries, const FolderRoots* roots) {
        for (const std::optional<SubtotalGrouping>& grouping : groupings) {
            if (grouping)
                summaries.add(*grouping, settings, generated, roots);
            else
                summaries.addUnregistered(&unregistered);
        }
    };

    // A repository is opened and every object checked before anything is written.
    std::unique_ptr<GitRepository> repo;
    std::optional<QStringList> revisionFiles;
    std::optional<std::vector<FilePair>> revisionPairs;
    if (repository) {
        QString error;
        repo = GitRepository::open(absolute(parser.value(repoOpt)), &error);
        if (!repo) {
            err << "tarvik-count: " << error << "\n";
            return kBadArguments;
        }
        RevisionSelection selection{{}, subdirs, {}, exclusions};
        selection.setTypes(searched);
        for (const QString& limit : diff ? positional.mid(2) : positional) {
            const std::optional<QString> inside = repo->repositoryPath(limit, m_env.currentDirectory);
            if (!inside) {
                err << "tarvik-count: " << limit << " is not inside the repository\n";
                return kBadArguments;
            }
            selection.limits << *inside;
        }
        if (diff)
            revisionPairs = repo->pairFiles(positional[0], positional[1], selection, &error, &unregistered);
        else
            revisionFiles = repo->listFiles(parser.value(revOpt), selection, &error, &unregistered);
        if (!revisionPairs && !revisionFiles) {
            err << "tarvik-count: " << error << "\n";
            return kBadArguments;
        }
    }

    if (diff && !repository) {
        for (const QString& folder : positional) {
            struct stat st {};
            if (::stat(pathToNative(absolute(folder)).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return usageError(QStringLiteral("%1 is not a folder").arg(folder));
        }
    }

    QStringList paths = repository ? QStringList() : positional;
    if (parser.isSet(filesFromOpt)) {
        const QString listPath = parser.value(filesFromOpt);
        std::ifstream list(pathToNative(listPath), std::ios::binary);
        if (!list)
            return usageError(QStringLiteral("cannot read the path list %1").arg(listPath));
        std::string line;
        while (std::getline(list, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                paths << pathFromNative(line);
        }
    }

    std::unique_ptr<OutputFile> outFile;
    if (parser.isSet(outputOpt)) {
        // Not cleaned: "link/.." must mean what it means to the file system.
        const QString output = parser.value(outputOpt);
        outFile = std::make_unique<OutputFile>(output.startsWith(u'/') ? output : m_env.currentDirectory + u'/' + output);
        QString openError;
        if (!outFile->open(&openError)) {
            err << "tarvik-count: cannot write " << parser.value(outputOpt) << ": " << openError << "\n";
            return kFailed;
        }
    }
    auto write = [&](const QByteArray& bytes) {
        if (outFile)
            outFile->write(bytes);
        else
            out.write(bytes.constData(), bytes.size());
    };
    // A full disk or a closed pipe must not pass for a complete result.
    auto finishOutput = [&]() {
        out.flush();
        if (!outFile && !out) {
            err << "tarvik-count: cannot write the output\n";
            return false;
        }
        QString writeError;
        if (outFile && !outFile->commit(&writeError)) {
            err << "tarvik-count: cannot write " << parser.value(outputOpt) << ": " << writeError << "\n";
            return false;
        }
        return true;
    };
    // The exit status once the output is closed: a run that ended early is reported here, and
    // its half of a result never replaces an older output file.
    auto conclude = [&](const std::optional<RunError>& error) {
        if (error && outFile)
            outFile->cancel();
        else if (!finishOutput())
            return kFailed;
        if (error) {
            err << "tarvik-count: " << unexpectedErrorMessage() << " " << error->path << ": " << error->reason << "\n";
            return kFailed;
        }
        return 0;
    };
    // A workbook is written only from a completed run: a failed one leaves the older file.
    auto concludeWorkbook = [&](const std::optional<RunError>& error, std::vector<WorkbookSheet> sheets) {
        if (error) {
            outFile->cancel();
            err << "tarvik-count: " << unexpectedErrorMessage() << " " << error->path << ": " << error->reason << "\n";
            return kFailed;
        }
        QString writeError;
        if (!SaveWorkbook(*outFile, sheets, &writeError)) {
            err << "tarvik-count: cannot write " << parser.value(outputOpt) << ": " << writeError << "\n";
            return kFailed;
        }
        return 0;
    };

    if (parser.isSet(bomOpt))
        write(QByteArray(CsvFormat::kByteOrderMark));
    const bool showProgress = m_env.progressToErr && (outFile || !m_env.outIsTerminal);
    ProgressBar bar(err, showProgress);

    if (diff) {
        EngineTable engines(settings);
        auto writer = DiffFormatWriter::create(format, write, reportDate, csvReader);
        SummarySet summaries(Subtotals::Measure::Changes);
        addSummaries(summaries, nullptr);
        summaries.setNext(writer.get());
        writer->setUnregistered(&unregistered);
        DiffSink* sink = writer.get();
        if (!summaries.isEmpty()) {
            writer->setSummaries(&summaries);
            sink = &summaries;
        }
        DiffProgressSink progress(*sink, bar);
        DiffSummary summary;
        if (revisionPairs) {
            summary = RunPairedDiff(*revisionPairs, engines, AnalysisOptions{countSymbolLines, jobs, &repo->store(), generated}, progress);
        } else {
            DiffRequest request{absolute(positional[0]), absolute(positional[1]), searched.extensions, subdirs, walkFilter,
                                searched.names, searched.interpreters};
            request.unregistered = &unregistered;
            summary = RunDiff(request, engines, AnalysisOptions{countSymbolLines, jobs, nullptr, generated}, progress);
        }
        bar.clear();
        for (const SkippedDirectory& skipped : summary.skipped)
            reportSkipped(skipped);
        reportUnregistered();
        if (!summary.completed())
            writer->diffFailed(*summary.error);
        if (workbook)
            return concludeWorkbook(summary.error, writer->takeSheets());
        return conclude(summary.error);
    }

    SummarySet summaries(Subtotals::Measure::Lines);
    FolderRoots roots; // where each file was registered from, for the subtotals by folder
    addSummaries(summaries, &roots);
    const bool keepRoots = summaries.byFolder();
    AnalysisList list;
    auto registerFrom = [&](const QString& file, int root) {
        if (list.RegisterPath(file) && keepRoots)
            roots.assign(file, root);
    };
    if (revisionFiles) {
        // A revision's files come from its top, "REV:".
        for (const QString& file : *revisionFiles)
            registerFrom(file, keepRoots ? roots.add(file.left(file.indexOf(u':') + 1)) : -1);
    }
    DirectoryWalk walk(searched, subdirs);
    walk.setFilter(walkFilter);
    for (const QString& arg : paths) {
        const QString path = absolute(arg);
        struct stat st {};
        if (::stat(pathToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            const int root = keepRoots ? roots.add(FolderRoots::folder(path)) : -1;
            WalkReport report = walk.walkConcurrently(path, [&](const QStringList& files) {
                for (const QString& file : files)
                    registerFrom(file, root);
            });
            for (const SkippedDirectory& skipped : report.skipped)
                reportSkipped(skipped);
            unregistered.add(report.unregistered);
        } else {
            // A single file comes from its folder.
            registerFrom(path, keepRoots ? roots.add(path.left(path.lastIndexOf(u'/') + 1)) : -1);
        }
    }

    auto writer = FormatWriter::create(format, write, reportDate, csvReader);
    summaries.setNext(writer.get());
    writer->setUnregistered(&unregistered);
    ResultSink* sink = writer.get();
    if (!summaries.isEmpty()) {
        writer->setSummaries(&summaries);
        sink = &summaries;
    }
    if (generated == GeneratedFiles::Separate)
        writer->separateGenerated();
    if (generatedChosen)
        writer->flagGenerated();

    EngineTable engines(settings);
    ProgressSink progress(*sink, bar);
    RunSummary summary = RunAnalysis(list.entries(), engines,
                                     AnalysisOptions{countSymbolLines, jobs, repo ? &repo->store() : nullptr, generated},
                                     progress);
    bar.clear();
    reportUnregistered();
    if (!summary.completed())
        writer->runFailed(*summary.error);
    if (workbook)
        return concludeWorkbook(summary.error, writer->takeSheets());
    return conclude(summary.error);
}

} // namespace tarvik
