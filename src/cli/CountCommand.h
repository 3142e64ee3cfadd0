#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <iosfwd>

namespace tarvik {

// `tarvik-count [options] PATH...`: the measurement of the window, from a terminal.
// Exit status: 0 the run completed, 1 it ended with the unexpected error or the output could
// not be written, 2 bad arguments or an unreadable settings file.
class CountCommand {
public:
    struct Environment {
        QString defaultSettingsPath; // used when no settings finder is set
        QString currentDirectory;    // relative PATHs are taken from here
        bool progressToErr = false;  // standard error is a terminal
        bool outIsTerminal = false;  // then the bar would overwrite results written there
        int cores = 1;
    };

    explicit CountCommand(Environment env);

    // Without -s: finds the settings file, making the per-user copy on first use. Asked only
    // when a run needs the settings, so --help, --version and -s never create anything.
    void setSettingsFinder(std::function<QString()> find) { m_findSettings = std::move(find); }

    // `args` excludes the program name.
    int execute(const QStringList& args, std::ostream& out, std::ostream& err);

private:
    Environment m_env;
    std::function<QString()> m_findSettings;
};

} // namespace tarvik
