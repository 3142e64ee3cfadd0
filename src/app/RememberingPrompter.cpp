#include "app/RememberingPrompter.h"

#include "config/SettingsStore.h"

#include <QFileInfo>

namespace tarvik {

namespace {
const QString kDir = QStringLiteral("DIR");
}

RememberingPrompter::RememberingPrompter(UserPrompter& inner, SettingsStore& settings,
                                         std::function<QString()> defaultFolder, std::function<QString()> fallback)
    : m_inner(inner), m_settings(settings), m_defaultFolder(std::move(defaultFolder)), m_fallback(std::move(fallback))
{
}

QString RememberingPrompter::keyOf(const QString& title)
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("解析ファイルを開く"), QStringLiteral("Last_Search")},
        {QStringLiteral("解析ディレクトリを開く"), QStringLiteral("Last_Search")},
        {QStringLiteral("名前を付けて保存"), QStringLiteral("Last_Log")},
        {QStringLiteral("CSV形式で保存"), QStringLiteral("Last_Export")},
        {QStringLiteral("Excel形式で保存"), QStringLiteral("Last_Export")},
        {QStringLiteral("グラフをPNGで保存"), QStringLiteral("Last_Picture")},
        {QStringLiteral("PDFファイルに保存"), QStringLiteral("Last_Pdf")},
        {QStringLiteral("旧バージョンのディレクトリを開く"), QStringLiteral("Last_Compare")},
        {QStringLiteral("新バージョンのディレクトリを開く"), QStringLiteral("Last_Compare")},
        {QStringLiteral("リポジトリのディレクトリを開く"), QStringLiteral("Last_Compare")},
    };
    return keys.value(title);
}

QString RememberingPrompter::start(const QString& title, const QString& directory) const
{
    const QString key = keyOf(title);
    // A set Def_Dir keeps its meaning, and a folder a dialog was given stays.
    if (!m_on || key.isEmpty() || directory != m_defaultFolder()
        || !m_settings.read(kDir, QStringLiteral("Def_Dir")).isEmpty())
        return directory;
    const QString remembered = m_settings.read(kDir, key);
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    return m_fallback();
}

void RememberingPrompter::remember(const QString& title, const QString& folder)
{
    const QString key = keyOf(title);
    if (!m_on || key.isEmpty() || folder.isEmpty())
        return;
    if (m_settings.read(kDir, key) != folder)
        m_settings.WriteSetting(kDir, key, folder);
}

QStringList RememberingPrompter::openFiles(QWidget* parent, const QString& title, const QString& directory,
                                           const QString& filter)
{
    const QStringList files = m_inner.openFiles(parent, title, start(title, directory), filter);
    if (!files.isEmpty())
        remember(title, QFileInfo(files.first()).absolutePath());
    return files;
}

QString RememberingPrompter::chooseFolder(QWidget* parent, const QString& title, const QString& directory)
{
    const QString folder = m_inner.chooseFolder(parent, title, start(title, directory));
    if (!folder.isEmpty())
        remember(title, folder);
    return folder;
}

QString RememberingPrompter::saveFile(QWidget* parent, const QString& title, const QString& directory,
                                      const QString& filter)
{
    const QString path = m_inner.saveFile(parent, title, start(title, directory), filter);
    if (!path.isEmpty())
        remember(title, QFileInfo(path).absolutePath());
    return path;
}

} // namespace tarvik
