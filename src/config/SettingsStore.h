#pragma once

#include "config/IniDocument.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tarvik {

// The settings file Tarvik.ini. No cache: every read goes to the file and every write replaces
// the file at once, atomically (temporary file in the same folder, then rename).
class SettingsStore {
public:
    explicit SettingsStore(QString iniPath);

    // Tarvik.ini beside the running executable.
    static QString defaultPath();

    const QString& path() const { return m_path; }

    // Reads one key into SettingValue(); an absent file or key reads as empty.
    void ReadSetting(const QString& section, const QString& key);
    const QString& SettingValue() const { return m_settingValue; }
    void setSettingValue(const QString& value) { m_settingValue = value; }

    // ReadSetting followed by SettingValue(), for callers that want the value directly.
    QString read(const QString& section, const QString& key);

    // Writes one key (value cut to 512 characters and at its first line break). Returns false
    // when the file cannot be written; the old content then stays as it was.
    bool WriteSetting(const QString& section, const QString& key, const QString& value);

    // The general single-key read: the value, or `defaultValue` when the key is absent; cut to
    // 499 bytes of the file's encoding; a value beginning with "%" has %NAME% references expanded.
    static QString ReadProfileValue(const QString& filePath, const QString& section, const QString& key,
                                    const QString& defaultValue);
    // The same rule applied to an already loaded document.
    static QString profileValue(const IniDocument& doc, const QString& section, const QString& key,
                                const QString& defaultValue = {});

    // Textual rewrite: every line of the file is handed to `edit`, whose result is written back
    // (lines joined with CR LF, followed by one CR LF) in the file's encoding. Fails without
    // touching anything when the file cannot be read or written; `error` then says why.
    bool rewriteLines(const std::function<QStringList(const QStringList&)>& edit, QString* error = nullptr);
    // Puts `line` as the last line of `section` (at the end of the file when it is the last section).
    static void insertAtEndOfSection(QStringList& lines, const QString& section, const QString& line);

    // Why the file cannot be read although something is at its path (not a regular file, over
    // 16 MiB, no right to read it); empty when it reads, or is simply missing.
    QString unreadableReason() const;

    // Loads the file once, for work that reads many keys without the file changing (a run).
    // Only a regular file of at most 16 MiB is read; anything else fails with `error` saying why.
    static bool loadDocument(const QString& path, IniDocument& doc, QString* error);
    // Keep leaves the file's mode as it was (a new file gets the usual one); OwnerOnly makes the
    // written file 0600 before any content goes into it, for writes that carry a password.
    enum class FileAccess { Keep, OwnerOnly };
    static bool saveDocument(const QString& path, const IniDocument& doc, QString* error,
                             FileAccess access = FileAccess::Keep);

private:
    QString m_path;
    QString m_settingValue;
};

// %NAME% references replaced by the environment; unknown names stay as written.
QString expandEnvironmentReferences(const QString& value);

} // namespace tarvik
