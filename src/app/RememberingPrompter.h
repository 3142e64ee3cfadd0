#pragma once

#include "app/UserPrompter.h"

#include <functional>

namespace tarvik {

class SettingsStore;

// The file dialogs of an installed program: with per-user settings and an empty Def_Dir, a
// dialog that would open in the window's default folder opens where a dialog of its kind was
// last used (logs, CSV and workbooks, pictures, PDF files, what is searched, the sides of a
// comparison), kept in [DIR] as Last_<kind>; before its first use in `fallback()` (the first
// registered folder, the folder the program was started from, or the home folder). A dialog
// given a folder of its own (a comparison side already filled in) keeps it. Everything else
// passes through to `inner`.
class RememberingPrompter : public UserPrompter {
public:
    RememberingPrompter(UserPrompter& inner, SettingsStore& settings, std::function<QString()> defaultFolder,
                        std::function<QString()> fallback);

    // Off (the default): every dialog opens where it is asked to, as with settings beside the
    // program, whose folder is then the default one.
    void setRemembering(bool on) { m_on = on; }

    void message(QWidget* parent, const QString& text, Icon icon) override { m_inner.message(parent, text, icon); }
    bool askYesNo(QWidget* parent, const QString& text, bool defaultYes) override
    {
        return m_inner.askYesNo(parent, text, defaultYes);
    }
    bool askOkCancel(QWidget* parent, const QString& text) override { return m_inner.askOkCancel(parent, text); }
    QStringList openFiles(QWidget* parent, const QString& title, const QString& directory,
                          const QString& filter) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& directory) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter) override;

    // The settings key of a dialog's kind, by its title; empty for a dialog that is not remembered.
    static QString keyOf(const QString& title);

private:
    QString start(const QString& title, const QString& directory) const;
    void remember(const QString& title, const QString& folder);

    UserPrompter& m_inner;
    SettingsStore& m_settings;
    std::function<QString()> m_defaultFolder;
    std::function<QString()> m_fallback;
    bool m_on = false;
};

} // namespace tarvik
