#pragma once

#include "config/IniDocument.h"
#include "intake/PathPatterns.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tarvik {

// What a file is for, by where it lies: each category is a name and patterns in the manner of
// .gitignore, matched against the file's path below the folder it was found in (a pattern for a
// folder, "tests/", takes every file below it). The first category that matches wins; a file
// that matches none is in 本体. Kept in the settings file under [Category] as Cat_1, Cat_2, …
// ("テスト;test/;tests/;*_test.*"), read until the first missing key; a file without the
// section has no categories, and every file is in 本体.
class Categories {
public:
    static const QString kMain; // "本体"

    static Categories fromDocument(const IniDocument& settings);
    // The settings value of a category: its name, then its patterns, parted by ";".
    static QString settingsValue(const QString& name, const QStringList& patterns);

    void add(const QString& name, const QStringList& patterns);
    bool empty() const { return m_categories.empty(); }
    // The names in their order, 本体 not among them.
    QStringList names() const;
    // The category of a path relative to its folder ("src/tests/a.c"); 本体 when none matches.
    const QString& categoryOf(const QString& relative) const;

private:
    struct Category {
        QString name;
        PathPatterns patterns;
    };
    std::vector<Category> m_categories;
};

} // namespace tarvik
