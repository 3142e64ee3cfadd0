#include "intake/FileOpener.h"

#include "support/QtPrinters.h"
#include "support/RecordingLauncher.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

using tarvik::test::RecordingLauncher;

TEST(FileOpener, OpensAnExistingFileWithItsTypesApplication)
{
    TempDir dir;
    const QString path = dir.write(QStringLiteral("main.c"), "int x;\n");
    RecordingLauncher launcher;
    EXPECT_EQ(OpenWithAssociatedApplication(path, launcher), OpenFailure::None);
    EXPECT_EQ(launcher.launched, QStringList{path});
    EXPECT_EQ(launcher.askedMime, u"text/x-csrc");
}

TEST(FileOpener, FailuresAreFoundBeforeAnythingStarts)
{
    TempDir dir;
    RecordingLauncher launcher;
    EXPECT_EQ(OpenWithAssociatedApplication(dir.path(QStringLiteral("gone.c")), launcher), OpenFailure::FileNotFound);
    EXPECT_EQ(OpenWithAssociatedApplication(dir.path(QStringLiteral("nodir/gone.c")), launcher), OpenFailure::PathNotFound);
    // The totals row of the grid gives a name that is no file.
    EXPECT_EQ(OpenWithAssociatedApplication(QStringLiteral("総実行行数は解析結果"), launcher), OpenFailure::FileNotFound);
    EXPECT_TRUE(launcher.launched.isEmpty());
    launcher.application.clear();
    const QString path = dir.write(QStringLiteral("data.unknownext"), "x");
    EXPECT_EQ(OpenWithAssociatedApplication(path, launcher), OpenFailure::NoAssociation);
    launcher.application = QStringLiteral("editor.desktop");
    launcher.starts = false;
    EXPECT_EQ(OpenWithAssociatedApplication(path, launcher), OpenFailure::CannotOpen);
    EXPECT_EQ(openFailureMessage(OpenFailure::NoAssociation), u"関連付けが指定されていません。");
}

TEST(FileOpener, UnreadableFileIsAccessDenied)
{
    TempDir dir;
    const QString path = dir.write(QStringLiteral("secret.c"), "x;\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    int rc = test::runUnprivileged([&] {
        RecordingLauncher launcher;
        return OpenWithAssociatedApplication(path, launcher) == OpenFailure::AccessDenied && launcher.launched.isEmpty() ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

TEST(FileOpener, DesktopDefaultsAreReadWithXdgMime)
{
    TempDir dir;
    dir.write(QStringLiteral("config/mimeapps.list"), "[Default Applications]\ntext/x-csrc=tarvik-test.desktop\n");
    dir.write(QStringLiteral("data/applications/tarvik-test.desktop"),
              "[Desktop Entry]\nType=Application\nName=Test\nExec=true %f\nMimeType=text/x-csrc;\n");
    qputenv("XDG_CONFIG_HOME", dir.path(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dir.path(QStringLiteral("data")).toUtf8());
    qputenv("XDG_DATA_DIRS", dir.path(QStringLiteral("data")).toUtf8());
    XdgLauncher launcher;
    EXPECT_EQ(launcher.defaultApplication(QStringLiteral("text/x-csrc")), u"tarvik-test.desktop");
    EXPECT_EQ(launcher.defaultApplication(QStringLiteral("application/x-tarvik-nothing")), QString());
}
