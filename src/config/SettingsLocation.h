#pragma once

#include <QString>

namespace tarvik {

// The user's own folders for configuration and data (the XDG base directories).
struct UserFolders {
    QString configHome; // $XDG_CONFIG_HOME, else ~/.config; empty without a home
    QString dataHome;   // $XDG_DATA_HOME, else ~/.local/share; empty without a home

    // A relative or empty XDG variable is ignored, as the base-directory rules ask. The home is
    // $HOME, else the one the password database gives the user.
    static UserFolders fromEnvironment();
};

// Which settings file a program uses and where its FTP downloads go.
struct SettingsLocation {
    QString settingsPath;
    QString downloadRoot; // a folder per host is made under it
    bool perUser = false; // the copy under configHome, not a Tarvik.ini beside the program
    QString problem;      // why the per-user copy could not be made; empty when all went well
};

// The settings file for a program in `programDir`: Tarvik.ini beside it when one is there
// (portable use, the build folder), downloads then also beside it; otherwise
// configHome/tarvik/Tarvik.ini, first made as a copy of the installed default
// (programDir/<relative path to share/tarvik>/Tarvik.ini), with downloads under dataHome/tarvik.
SettingsLocation locateSettings(const QString& programDir, const UserFolders& folders);

// Creates `folder` and its missing parents, readable by the user alone, as the base-directory
// rules ask for folders made on the user's behalf. True when the folder is there.
bool makeUserFolders(const QString& folder, QString* error = nullptr);

// The installed default settings file that belongs to a program in `programDir`.
QString installedDefaultSettings(const QString& programDir);

} // namespace tarvik
