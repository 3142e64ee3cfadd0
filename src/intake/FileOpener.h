#pragma once

#include <QString>

namespace tarvik {

// How the desktop opens a file with the application associated with its type.
class ApplicationLauncher {
public:
    virtual ~ApplicationLauncher() = default;
    // The desktop entry of the default application for a MIME type; empty when there is none.
    virtual QString defaultApplication(const QString& mimeType) = 0;
    // Starts the default application without waiting for it; false when it could not start.
    virtual bool launch(const QString& path) = 0;
};

// xdg-mime and xdg-open (or another opener taking the path as its one argument).
class XdgLauncher : public ApplicationLauncher {
public:
    explicit XdgLauncher(QString opener = QStringLiteral("xdg-open")) : m_opener(std::move(opener)) {}
    QString defaultApplication(const QString& mimeType) override;
    // The opener gets the path's real bytes, also for names that are not UTF-8.
    bool launch(const QString& path) override;

private:
    QString m_opener;
};

enum class OpenFailure { None, FileNotFound, PathNotFound, AccessDenied, NoAssociation, CannotOpen };

// Opens a file or folder with its associated application. Failures are found out beforehand,
// since the desktop's opener reports nothing once it has started.
OpenFailure OpenWithAssociatedApplication(const QString& path, ApplicationLauncher& launcher);

// The message shown for a failure (empty for None).
QString openFailureMessage(OpenFailure failure);

} // namespace tarvik
