#pragma once

#include "config/SettingsStore.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvik {

// The stored FTP hosts: FTP_List (registration names in order) and one record per host,
// "FTP_‹name›=‹name›,‹host›,‹user›,‹encoded password›[,passive|active[,keyring]]", in section
// FTP_Server. The data connection mode is there once the host was registered with one chosen;
// without it (or empty) a host is active, or passive for "ftps://". "keyring" says the password
// is in the desktop's keyring and the record holds none.
class FtpHostList {
public:
    explicit FtpHostList(SettingsStore& settings) : m_settings(settings) {}

    // The host-name list as stored (an empty value gives no names).
    QStringList names();
    // The fields of a host's record, the password (4th field) decoded or read from the keyring;
    // empty when it is absent. A password the keyring cannot give is empty, `error` says why.
    QStringList record(const QString& name, QString* error = nullptr);

    enum class Registered { Updated, Added, Failed };
    // Stores a host, its password in the keyring where one is available (keyring::available),
    // else in the reversible form: an existing name has only its record rewritten; a new name is appended to
    // FTP_List and its record line put directly below the FTP_List line. One atomic write, after
    // which the settings file is readable by its owner only (0600).
    Registered registerHost(const QString& name, const QString& host, const QString& user, const QString& password,
                            QString* error, std::optional<bool> passive = std::nullopt);
    // Whether a record (as record() gives it) asks for passive mode.
    static bool passiveMode(const QStringList& record);

    // The public key the user trusts for a TLS server (section FTP_Trust, keyed by the server's
    // name as typed, in lower case), "" when none; trustKey stores it, replacing the one before.
    QByteArray trustedKey(const QString& host);
    bool trustKey(const QString& host, const QByteArray& pin);
    // Removes the first list element equal to `name` and every "FTP_‹name›=" line.
    bool deleteHost(const QString& name, QString* error);

    // Why a registration name cannot be used, or "" when it can: it names a local folder for
    // downloads and is part of a settings key, so "/", "," and "=" and the names "." and ".."
    // are refused.
    static QString nameProblem(const QString& name);
    // Why a record cannot be stored, or "": the name's problem, or a field whose stored text
    // would hold a line end (the record is one line of the settings file). Of the password
    // that is its encoded form: U+0019 and U+001C encode to LF and CR.
    static QString recordProblem(const QString& name, const QString& host, const QString& user,
                                 const QString& password);

    // "SET" encodes, "UNSET" decodes; any other mode gives "". ASCII characters move 15 codes
    // down on encoding (wrapping within ASCII), except ";", which stays (it would become ",").
    // Other characters are kept as they are, so every password survives a round trip except
    // that "J" and ";" both come back as ";", as in settings files written before.
    static QString TransformPassword(const QString& mode, const QString& text);

private:
    SettingsStore& m_settings;
};

} // namespace tarvik
