#include "app/MainWindow.h"
#include "app/UserPrompter.h"
#include "config/SettingsStore.h"
#include "intake/FileOpener.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    // The Windows Japanese fonts the layout was made for fall back to Debian's Japanese fonts.
    const QStringList gothic{QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")};
    const QStringList mincho{QStringLiteral("IPAMincho"), QStringLiteral("Noto Serif CJK JP")};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), mincho);

    tarvik::DialogPrompter prompter;
    tarvik::XdgLauncher launcher;
    tarvik::MainWindow window(tarvik::SettingsStore::defaultPath(), prompter, launcher);
    window.showRestored();
    return app.exec();
}
