#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tarvik {

// How the desktop opens a file with the application associated with its type.
class ApplicationLauncher {
public:
    // The opener's exit status, once it has ended (0: the application was started).
    using Finished = std::function<void(int exitStatus)>;

    virtual ~ApplicationLauncher() = default;
    // The desktop entry of the default application for a MIME type; empty when there is none.
    virtual QString defaultApplication(const QString& mimeType) = 0;
    // Starts the desktop's opener without waiting for it to end; false when it could not start.
    // `finished` is called later, from this thread's event loop.
    virtual bool launch(const QString& path, Finished finished) = 0;
};

// xdg-mime and xdg-open (or another opener taking the path as its one argument).
class XdgLauncher : public ApplicationLauncher {
public:
    explicit XdgLauncher(QString opener = QStringLiteral("xdg-open")) : m_opener(std::move(opener)) {}
    QString defaultApplication(const QString& mimeType) override;
    // The opener gets the path's real bytes, also for names that are not UTF-8. Without a
    // desktop session xdg-open runs the application itself and ends with it, so it is watched,
    // never waited for.
    bool launch(const QString& path, Finished finished) override;

private:
    QString m_opener;
    QObject m_running; // the openers still running
};

enum class OpenFailure { None, FileNotFound, PathNotFound, AccessDenied, NoAssociation, CannotOpen };

// Opens a file or folder with its associated application. What can be found out beforehand is
// returned at once; a failure the opener reports by its exit status goes to `later`, once the
// opener has ended (nothing is called when it succeeded).
OpenFailure OpenWithAssociatedApplication(const QString& path, ApplicationLauncher& launcher,
                                          std::function<void(OpenFailure)> later = {});

// xdg-open's exit status: 2 the file was not found, 3 no tool to open it with, others failed.
OpenFailure openerFailure(int exitStatus);

// The message shown for a failure (empty for None).
QString openFailureMessage(OpenFailure failure);

} // namespace tarvik
