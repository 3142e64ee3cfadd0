#pragma once

#include <QIcon>
#include <QString>

namespace tarvik {

// The desktop theme's icon of that name (document-open, folder-open, network-server,
// document-save, document-print, media-playback-start), or our own picture of it when the
// theme has none, so the toolbar fits GNOME, KDE and Xfce and still shows without a theme.
QIcon toolbarIcon(const QString& themeName);

// The program's own icon: the installed theme's, else the picture built into the program.
QIcon programIcon(const QString& appId);

} // namespace tarvik
