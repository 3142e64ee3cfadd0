#pragma once

#include <QString>
#include <QStringList>

#include <iosfwd>
#include <optional>

namespace tarvik {

// `tarvik [PATH...]`: how the desktop menu (Exec=tarvik %F) and "Open with" hand files over.
class CommandLine {
public:
    // --help and --version, answered before the window system starts so that they work without
    // a display: the exit status, or nullopt when the window is to start. Qt's own options may
    // still be among `args`.
    static std::optional<int> answerWithoutWindow(const QStringList& args, std::ostream& out);

    // The PATHs among `args` (Qt's options already taken out), made absolute against
    // `currentDir`; nullopt, with a message on `err`, for an option the program does not know.
    // After "--" every argument is a PATH.
    static std::optional<QStringList> paths(const QStringList& args, const QString& currentDir, std::ostream& err);
};

} // namespace tarvik
