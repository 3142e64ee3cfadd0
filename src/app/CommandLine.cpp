#include "app/CommandLine.h"

#include <QDir>

#include <ostream>

namespace tarvik {

namespace {

const char kHelp[] =
    "Usage: tarvik [PATH...]\n"
    "Counts executable steps, comment lines and total lines of source files in a window.\n"
    "\n"
    "Each PATH goes into the analysis list as if it had been dropped there: a file as it is,\n"
    "a folder by the folder search (the file types and the subfolder option of the search\n"
    "settings).\n"
    "\n"
    "Options:\n"
    "  -h, --help  Show this help.\n"
    "  --version   Show the version.\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

} // namespace

std::optional<int> CommandLine::answerWithoutWindow(const QStringList& args, std::ostream& out)
{
    for (const QString& arg : args) {
        if (arg == u"--")
            break;
        if (arg == u"-h" || arg == u"--help") {
            out << kHelp;
            return 0;
        }
        if (arg == u"--version") {
            out << "tarvik " << TARVIK_VERSION << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<QStringList> CommandLine::paths(const QStringList& args, const QString& currentDir, std::ostream& err)
{
    QStringList paths;
    bool optionsEnded = false;
    const QDir base(currentDir);
    for (const QString& arg : args) {
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg.startsWith(u'-')) {
            err << "tarvik: unknown option '" << arg.toStdString() << "'\n"
                << "Try 'tarvik --help'.\n";
            return std::nullopt;
        }
        paths << QDir::cleanPath(base.absoluteFilePath(arg));
    }
    return paths;
}

} // namespace tarvik
