#pragma once

#include "intake/FileOpener.h"

#include <QStringList>

namespace tarvik::test {

// Stands in for the desktop: every file type has an application, and what would have been
// started is recorded instead of starting an editor during the tests.
class RecordingLauncher : public ApplicationLauncher {
public:
    QString defaultApplication(const QString& mimeType) override
    {
        askedMime = mimeType;
        return application;
    }
    bool launch(const QString& path, Finished finished) override
    {
        launched << path;
        if (starts && finished)
            finished(0);
        return starts;
    }
    QString application = QStringLiteral("editor.desktop");
    bool starts = true;
    QString askedMime;
    QStringList launched;
};

} // namespace tarvik::test
