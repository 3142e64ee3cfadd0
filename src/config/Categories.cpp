#include "config/Categories.h"

#include "config/NativePath.h"
#include "config/SettingsStore.h"

namespace tarvik {

const QString Categories::kMain = QStringLiteral("本体");

Categories Categories::fromDocument(const IniDocument& settings)
{
    Categories categories;
    for (int i = 1;; ++i) {
        const QString value = SettingsStore::profileValue(settings, QStringLiteral("Category"), QStringLiteral("Cat_%1").arg(i));
        if (value.isEmpty())
            break;
        QStringList fields = value.split(u';');
        const QString name = fields.takeFirst().trimmed();
        if (!name.isEmpty())
            categories.add(name, fields);
    }
    return categories;
}

QString Categories::settingsValue(const QString& name, const QStringList& patterns)
{
    return (QStringList{name} + patterns).join(u';');
}

void Categories::add(const QString& name, const QStringList& patterns)
{
    Category category{name, {}};
    for (const QString& pattern : patterns) {
        const QString trimmed = pattern.trimmed();
        if (!trimmed.isEmpty())
            category.patterns.add(pathToNative(trimmed));
    }
    m_categories.push_back(std::move(category));
}

QStringList Categories::names() const
{
    QStringList names;
    for (const Category& c : m_categories)
        names << c.name;
    return names;
}

const QString& Categories::categoryOf(const QString& relative) const
{
    if (m_categories.empty())
        return kMain;
    const std::string path = pathToNative(relative.startsWith(u'/') ? relative.mid(1) : relative);
    for (const Category& c : m_categories) {
        // A folder that matches takes the files below it, as a walk that leaves it out would.
        for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            if (c.patterns.excludes(std::string_view(path).substr(0, slash), true))
                return c.name;
        }
        if (c.patterns.excludes(path, false))
            return c.name;
    }
    return kMain;
}

} // namespace tarvik
