#include "cli/CountOptions.h"

#include "config/NativePath.h"

#include <QCommandLineParser>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include <ostream>
#include <tuple>

namespace tarvik {

std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }

int usageError(std::ostream& err, const QString& message)
{
    err << "tarvik-count: " << message << "\n"
        << "Try 'tarvik-count --help'.\n";
    return kBadArguments;
}

namespace {

std::optional<bool> onOff(const QString& text)
{
    if (text == u"on")
        return true;
    if (text == u"off")
        return false;
    return std::nullopt;
}

} // namespace

ParsedCount parseCountOptions(const QStringList& args, int cores, std::ostream& out, std::ostream& err)
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
                                       QStringLiteral("Output format: report (as a saved .tvk log), csv, json, xlsx "
                                                      "(a workbook; needs -o FILE), md (the totals and subtotals as "
                                                      "Markdown tables) or html (one self-contained page with the "
                                                      "tables and their bar charts)."),
                                       QStringLiteral("report|csv|json|xlsx|md|html"), QStringLiteral("report"));
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
                                        QStringLiteral("Subtotals by file type (type), by folder DEPTH levels below each "
                                                       "PATH (dir, dir:DEPTH; dir is dir:1) or by category of the settings "
                                                       "file's [Category] (category), after the report, in the JSON's "
                                                       "\"summaries\", or as the CSV instead of the files' rows, with the "
                                                       "columns kind,engine (or folder, or category),files,executable,comment,total (with "
                                                       "--diff: added,changed,deleted,modified),kstep,row; or the files the "
                                                       "folder searches passed over because their type is not registered or "
                                                       "not searched (unregistered), with the columns kind,files,bytes,row; "
                                                       "or, with --repo, the steps by the author of the commit that last "
                                                       "changed their line (author: git blame, after .mailmap), with the "
                                                       "columns author,files,executable (with --diff: the steps added and "
                                                       "changed after OLD, a row of those whose lines stood there at OLD and "
                                                       "a row of the deleted ones),kstep,row. "
                                                       "Repeatable; in a CSV each table then starts with its title, after an "
                                                       "empty line."),
                                        QStringLiteral("type|dir[:DEPTH]|category|unregistered|author"));
    const QCommandLineOption categoryOpt(QStringLiteral("category-column"),
                                         QStringLiteral("With -f csv: end each file's row with its category (the settings "
                                                        "file's [Category]; 本体 when none matches)."));
    const QCommandLineOption bomOpt(QStringLiteral("bom"),
                                    QStringLiteral("With -f csv: begin with a UTF-8 byte order mark, for spreadsheet programs."));
    const QCommandLineOption dateOpt(QStringLiteral("date"),
                                     QStringLiteral("The report's date instead of today's, so a report can be made again "
                                                    "byte for byte."),
                                     QStringLiteral("YYYY-MM-DD"));
    parser.addOptions({help, version, settingsOpt, symbolOpt, subdirsOpt, formatOpt, jobsOpt, outputOpt, filesFromOpt, diffOpt,
                       repoOpt, revOpt, excludeOpt, gitignoreOpt, generatedOpt, summaryOpt, categoryOpt, bomOpt, dateOpt});
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("A file to count, or a directory whose registered file types are counted."),
                                 QStringLiteral("PATH..."));

    ParsedCount parsed;
    CountOptions& o = parsed.options;
    auto fail = [&](const QString& message) {
        parsed.exitStatus = usageError(err, message);
        return parsed;
    };
    // A message of its own, without the hint to --help.
    auto refuse = [&](const std::string& message) {
        err << "tarvik-count: " << message << "\n";
        parsed.exitStatus = kBadArguments;
        return parsed;
    };

    if (!parser.parse(QStringList{QStringLiteral("tarvik-count")} + args))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText()
            << "\nExit status: 0 when the run completed (missing or unknown files are results),\n"
               "1 when it ended with an unexpected error or the output could not be written,\n"
               "2 for bad arguments or an unreadable settings file.\n";
        parsed.exitStatus = kCompleted;
        return parsed;
    }
    if (parser.isSet(version)) {
        out << "tarvik-count " << TARVIK_VERSION << "\n";
        parsed.exitStatus = kCompleted;
        return parsed;
    }

    // The output.
    if (!FormatWriter::parseFormat(parser.value(formatOpt), o.format))
        return fail(QStringLiteral("unknown format '%1' (use report, csv, json, xlsx, md or html)").arg(parser.value(formatOpt)));
    if (parser.isSet(outputOpt))
        o.output = parser.value(outputOpt);
    if (o.workbook() && (o.output.isNull() || o.output == u"-"))
        return refuse("-f xlsx writes a workbook file: name it with -o FILE");
    o.jobs = cores;
    if (parser.isSet(jobsOpt)) {
        bool ok = false;
        o.jobs = parser.value(jobsOpt).toInt(&ok);
        if (!ok || o.jobs < 1)
            return fail(QStringLiteral("--jobs needs a whole number of at least 1"));
    }
    if (parser.isSet(generatedOpt)) {
        const QString g = parser.value(generatedOpt);
        if (g == u"count")
            o.generated = GeneratedFiles::Count;
        else if (g == u"skip")
            o.generated = GeneratedFiles::Skip;
        else if (g == u"separate")
            o.generated = GeneratedFiles::Separate;
        else
            return fail(QStringLiteral("--generated takes count, skip or separate"));
    }
    for (const QString& value : parser.values(summaryOpt)) {
        if (value == u"unregistered") {
            o.groupings.push_back(std::nullopt);
            continue;
        }
        if (value == u"author") {
            o.authorTableAt = static_cast<int>(o.groupings.size());
            continue;
        }
        SubtotalGrouping grouping;
        if (!SubtotalGrouping::parse(value, grouping))
            return fail(
                QStringLiteral("--summary takes type, dir, dir:DEPTH (DEPTH at least 1), category, unregistered or author, not '%1'")
                    .arg(value));
        o.groupings.push_back(grouping);
    }
    // A workbook is what is handed on: it holds both groupings unless others were asked for.
    if (o.workbook() && o.groupings.empty() && o.authorTableAt < 0) {
        o.groupings = {SubtotalGrouping{SubtotalGrouping::By::Type, 1}, SubtotalGrouping{SubtotalGrouping::By::Folder, 1}};
        o.defaultGroupings = true;
    }
    // The mark is for spreadsheet programs, which would run a name like "=…" as a formula.
    o.categoryColumn = parser.isSet(categoryOpt);
    if (o.categoryColumn && o.format != FormatWriter::Format::Csv)
        return fail(QStringLiteral("--category-column is for -f csv"));
    o.bom = parser.isSet(bomOpt);
    if (o.bom && o.format != FormatWriter::Format::Csv)
        return fail(QStringLiteral("--bom is for -f csv"));
    if (parser.isSet(dateOpt)) {
        // Only the one form, so that a date never means two days.
        static const QRegularExpression isoDay(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
        const QString text = parser.value(dateOpt);
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!isoDay.match(text).hasMatch() || !date.isValid())
            return refuse("--date takes a day as YYYY-MM-DD, not '" + text.toStdString() + "'");
        o.reportDate = QLocale::system().toString(date, QLocale::ShortFormat);
    }

    // The mode, and what it takes.
    const QStringList positional = parser.positionalArguments();
    const bool diff = parser.isSet(diffOpt);
    if (parser.isSet(filesFromOpt))
        o.filesFrom = parser.value(filesFromOpt);
    if (parser.isSet(repoOpt)) {
        if (!o.filesFrom.isNull())
            return fail(QStringLiteral("--files-from cannot be used with --repo"));
        if (diff == parser.isSet(revOpt))
            return fail(QStringLiteral("--repo needs either --rev REV or --diff OLD NEW"));
        if (diff && positional.size() < 2)
            return fail(QStringLiteral("--repo --diff takes two revisions, OLD and NEW"));
        o.repository = parser.value(repoOpt);
        if (diff) {
            o.mode = CountOptions::Mode::RevisionComparison;
            o.oldRevision = positional[0];
            o.newRevision = positional[1];
            o.paths = positional.mid(2);
        } else {
            o.mode = CountOptions::Mode::Revision;
            o.revision = parser.value(revOpt);
            o.paths = positional;
        }
    } else {
        if (parser.isSet(revOpt))
            return fail(QStringLiteral("--rev needs --repo DIR"));
        if (positional.isEmpty() && o.filesFrom.isNull())
            return fail(QStringLiteral("no PATH given"));
        if (diff && (positional.size() != 2 || !o.filesFrom.isNull()))
            return fail(QStringLiteral("--diff takes exactly two folders, OLD and NEW"));
        o.mode = diff ? CountOptions::Mode::FolderComparison : CountOptions::Mode::Count;
        o.paths = positional;
        if (o.authorTableAt >= 0)
            return refuse("--summary author reads who last changed each line from git: it needs --repo DIR "
                          "with --rev REV or --diff OLD NEW");
    }

    // What is searched and counted.
    o.exclusions = Exclusions{parser.values(excludeOpt), parser.isSet(gitignoreOpt)};
    for (const QString& pattern : o.exclusions.patterns) {
        if (!PathPatterns::valid(pathToNative(pattern)))
            return fail(QStringLiteral("--exclude '%1' matches nothing").arg(pattern));
    }
    if (parser.isSet(settingsOpt))
        o.settingsPath = parser.value(settingsOpt);
    for (auto [option, target, name] : {std::tuple{&symbolOpt, &o.symbolLines, "--symbol-lines"},
                                        std::tuple{&subdirsOpt, &o.subdirs, "--subdirs"}}) {
        if (!parser.isSet(*option))
            continue;
        *target = onOff(parser.value(*option));
        if (!*target)
            return fail(QString::fromLatin1(name) + QStringLiteral(" takes on or off"));
    }
    return parsed;
}

} // namespace tarvik
