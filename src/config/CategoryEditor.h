#pragma once

#include "config/SettingsStore.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tarvik {

// Edits of the categories ([Category] Cat_1, Cat_2, …) in the settings file: read as a list,
// written back whole as Cat_1…Cat_N in one atomic write, higher Cat_ keys left over removed. A
// file without categories keeps no section for them.
class CategoryEditor {
public:
    struct Category {
        QString name;
        QStringList patterns;
        bool operator==(const Category&) const = default;
    };

    explicit CategoryEditor(SettingsStore& settings) : m_settings(settings) {}

    // The categories as Categories reads them: in order, until the first missing key; a key
    // without a name counts for nothing and is left out.
    std::vector<Category> read() const;

    // The patterns as typed, parted by ";" (blank ones dropped), and back.
    static QStringList patternsOf(const QString& typed);
    static QString patternsText(const QStringList& patterns) { return patterns.join(u';'); }

    // False when the list cannot be stored as it is: `error` says why and `at` which category.
    static bool check(const std::vector<Category>& categories, QString* error, int* at = nullptr);

    // Checks, then stores the list; false with the reason in `error` (the file then unchanged).
    bool save(const std::vector<Category>& categories, QString* error, int* at = nullptr);

private:
    SettingsStore& m_settings;
};

} // namespace tarvik
